// The module's face towards OBS: its entry points, the Tools menu entry and the
// host events that stop every stream. The module's few long-lived objects are
// defined here, and only here; the libraries work on what they are handed.
#include <obs-module.h>
#include <obs-frontend-api.h>

#include "engine/engine.h"
#include "module/automation.h"
#include "module/toolkit.h"
#include "panel/panel.h"
#include "panel/remote.h"
#include "settings/store.h"
#include "settings/texts.h"
#include "torvane_version.h"

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

// "settings.dpapi" in the module's configuration folder, as the host reports it.
char *HostSettingsPath()
{
	return obs_module_get_config_path(obs_current_module(), settings_file_name);
}

// Destroyed when the module's image goes: the engine's destructor stops and
// releases whatever is still running.
MultistreamEngine module_engine;
SettingsStore module_store;
PanelState module_panel_state;
ControlPanel control_panel{module_store, module_engine, HostSettingsPath, module_panel_state, panel_window_slot};

// OBS raises STREAMING_STOPPING only when someone stops its stream (its
// output's "stopping" signal, from obs_output_stop or obs_output_force_stop);
// a STREAMING_STOPPED without it is a stream that failed to connect or gave up
// reconnecting.
bool obs_stop_asked = false;

void OnFrontendEvent(enum obs_frontend_event event, void *)
{
	switch (event) {
	case OBS_FRONTEND_EVENT_STREAMING_STARTING:
		obs_stop_asked = false;
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STOPPING:
		obs_stop_asked = true;
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STARTED:
		FollowObsStreaming(control_panel, ShownPanel(control_panel), ObsStream::Started);
		return;
	case OBS_FRONTEND_EVENT_STREAMING_STOPPED:
		FollowObsStreaming(control_panel, ShownPanel(control_panel),
				   obs_stop_asked ? ObsStream::Stopped : ObsStream::Ended);
		obs_stop_asked = false;
		return;
	case OBS_FRONTEND_EVENT_EXIT:
		ReleaseVendor();
		break;
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
	case OBS_FRONTEND_EVENT_PROFILE_CHANGING:
	case OBS_FRONTEND_EVENT_SCRIPTING_SHUTDOWN:
		break;
	default:
		return;
	}

	module_engine.StopAndRelease();
	ShowStreamsStoppedByHost(control_panel);
	if (event == OBS_FRONTEND_EVENT_EXIT)
		DestroyControlPanel(control_panel);
}

} // namespace

} // namespace torvane

bool obs_module_load(void)
{
	using namespace torvane;

	// Before anything shows a text; English wherever the module's data
	// folder has none.
	SetTextLookup([](const char *key, const char **text) { return obs_module_get_string(key, text); });
	module_panel_state.status_message = Tr16(Txt::Welcome);
	if (!StartToolkit())
		return false;

	obs_frontend_add_tools_menu_item(Tr(Txt::ToolsMenuEntry), OpenControlPanel, &control_panel);
	obs_frontend_add_event_callback(OnFrontendEvent, nullptr);
	RegisterHotkeys(control_panel);

	const std::string banner = std::string("[Torvane] Loaded v") + torvane_version + " (" + platform_name +
				   "). No automatic streaming.";
	blog(LOG_INFO, "%s", banner.c_str());
	return true;
}

void obs_module_post_load(void)
{
	torvane::RegisterVendor(torvane::control_panel);
}

void obs_module_unload(void)
{
	using namespace torvane;

	obs_frontend_remove_event_callback(OnFrontendEvent, nullptr);
	UnregisterHotkeys();
	StopTicker(); // no tick may reach an unloaded module
	module_engine.StopAndRelease();
	DestroyControlPanel(control_panel);
	ReleasePanelResources(control_panel);
	StopToolkit();
	SetTextLookup(nullptr);
}
