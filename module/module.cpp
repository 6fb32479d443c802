// The module's face towards OBS: its entry points, the Tools menu entry and the
// host events that stop every stream. Everything long-lived is the one Module
// object, made at load and destroyed at unload.
#include <obs-module.h>
#include <obs-frontend-api.h>

#include "module/module.h"
#include "module/toolkit.h"
#include "settings/texts.h"
#include "torvane_version.h"

#include <optional>
#include <string>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("torvane", "en-US")

MODULE_EXPORT const char *obs_module_name(void)
{
	return "Torvane";
}

MODULE_EXPORT const char *obs_module_description(void)
{
	return torvane::Tr(torvane::Txt::ModuleDescription);
}

MODULE_EXPORT const char *obs_module_author(void)
{
	return "Torvane contributors";
}

namespace torvane {

namespace {

std::optional<Module> loaded;

// "settings.dpapi" in the module's configuration folder, as the host reports it.
char *HostSettingsPath()
{
	return obs_module_get_config_path(obs_current_module(), settings_file_name);
}

// OBS's stream output's encoders. Enhanced Broadcasting's output has several
// video tracks: there is no one encoder to share then.
ObsStreamEncoders FrontendObsStream()
{
	ObsStreamEncoders obs;
	OBSOutputAutoRelease output = obs_frontend_get_streaming_output();
	if (!output)
		return obs;
	obs.live = obs_output_active(output);
	obs.video = obs_output_get_video_encoder(output);
	obs.audio = obs_output_get_audio_encoder(output, 0);
	obs.multitrack = obs_output_get_video_encoder2(output, 1) || (obs.live && !obs.video);
	return obs;
}

void FollowObs(Module &module, ObsStream what)
{
	FollowObsStreaming(module.controller, what);
	AfterRemoteCommand(module);
}

void OnFrontendEvent(enum obs_frontend_event event, void *data)
{
	Module &module = *static_cast<Module *>(data);
	switch (event) {
	case OBS_FRONTEND_EVENT_STREAMING_STARTING:
		module.obs_stop_asked = false;
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STOPPING:
		// On OBS 30 its outputs hold its encoders without a reference, and
		// they go when its outputs are idle: whatever shares them stops now.
		module.obs_stop_asked = true;
		StopObsStreamFollowers(module.controller);
		AfterRemoteCommand(module);
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STARTED:
		FollowObs(module, ObsStream::Started);
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STOPPED:
		// Ended without a stop, too: nothing goes on holding its encoders.
		StopObsStreamFollowers(module.controller);
		FollowObs(module, module.obs_stop_asked ? ObsStream::Stopped : ObsStream::Ended);
		module.obs_stop_asked = false;
		return;
	case OBS_FRONTEND_EVENT_EXIT:
		ReleaseVendor(module);
		break;
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
	case OBS_FRONTEND_EVENT_PROFILE_CHANGING:
	case OBS_FRONTEND_EVENT_SCRIPTING_SHUTDOWN:
		break;
	default:
		return;
	}

	StopForHost(module.controller);
	AfterRemoteCommand(module);
	if (event == OBS_FRONTEND_EVENT_EXIT)
		DestroyControlPanel(module.panel);
}

// Once a second on the UI thread, from the end of loading until unload.
void OnTick(void *data)
{
	Module &module = *static_cast<Module *>(data);
	Tick(module.controller);
	TickVendor(module);
}

} // namespace

Module::Module()
	: toolkit(StartToolkit()), controller(store, engine, HostSettingsPath, HostVideoInfo), panel(controller)
{
}

Module *LoadedModule()
{
	return loaded ? &*loaded : nullptr;
}

void AfterRemoteCommand(Module &module)
{
	RefreshShownPanel(module.panel);
}

} // namespace torvane

bool obs_module_load(void)
{
	using namespace torvane;

	// Before anything shows a text; English wherever the module's data
	// folder has none.
	SetTextLookup([](const char *key, const char **text) { return obs_module_get_string(key, text); });
	Module &module = loaded.emplace();
	if (!module.toolkit) {
		loaded.reset();
		SetTextLookup(nullptr);
		return false;
	}

	obs_frontend_add_tools_menu_item(Tr(Txt::ToolsMenuEntry), OpenControlPanel, &module.panel);
	module.controller.obs_stream = FrontendObsStream;
	obs_frontend_add_event_callback(OnFrontendEvent, &module);
	RegisterHotkeys(module);

	const std::string banner = std::string("[Torvane] Loaded v") + torvane_version + " (" + platform_name +
				   "). No automatic streaming.";
	blog(LOG_INFO, "%s", banner.c_str());
	return true;
}

void obs_module_post_load(void)
{
	using namespace torvane;
	if (Module *module = LoadedModule()) {
		RegisterVendor(*module);
		StartTicker(*module->toolkit, OnTick, module);
	}
}

void obs_module_unload(void)
{
	using namespace torvane;
	if (!loaded)
		return;

	obs_frontend_remove_event_callback(OnFrontendEvent, &*loaded);
	UnregisterHotkeys(*loaded);
	StopTicker(*loaded->toolkit);
	ReleaseVendor(*loaded);
	// The panel's window goes, then the engine stops and releases what runs,
	// and last the toolkit, with every tick and task still waiting.
	loaded.reset();
	SetTextLookup(nullptr);
}
