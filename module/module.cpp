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
#include "torvane_version.h"

#include <string>

OBS_DECLARE_MODULE()

MODULE_EXPORT const char *obs_module_name(void)
{
	return "Torvane";
}

MODULE_EXPORT const char *obs_module_description(void)
{
	return "Local RTMP multistreaming without subscriptions.";
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

void OnFrontendEvent(enum obs_frontend_event event, void *)
{
	switch (event) {
	case OBS_FRONTEND_EVENT_STREAMING_STARTED:
	case OBS_FRONTEND_EVENT_STREAMING_STOPPED:
		FollowObsStreaming(control_panel, ShownPanel(control_panel),
				   event == OBS_FRONTEND_EVENT_STREAMING_STARTED);
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

	if (!StartToolkit())
		return false;

	obs_frontend_add_tools_menu_item("Torvane \xE2\x80\x94 Multistream", OpenControlPanel, &control_panel);
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
}
