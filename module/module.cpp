// The module's face towards OBS: its entry points, the Tools menu entry and the
// host events that stop every stream.
#include <obs-module.h>
#include <obs-frontend-api.h>

#include "engine/engine.h"
#include "module/toolkit.h"
#include "panel/panel.h"

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

static void OnFrontendEvent(enum obs_frontend_event event, void *)
{
	switch (event) {
	case OBS_FRONTEND_EVENT_EXIT:
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
	case OBS_FRONTEND_EVENT_PROFILE_CHANGING:
	case OBS_FRONTEND_EVENT_SCRIPTING_SHUTDOWN:
		break;
	default:
		return;
	}

	engine.StopAndRelease();
	ShowStreamsStoppedByHost();
	if (event == OBS_FRONTEND_EVENT_EXIT)
		DestroyControlPanel();
}

} // namespace torvane

bool obs_module_load(void)
{
	using namespace torvane;

	if (!StartToolkit())
		return false;

	obs_frontend_add_tools_menu_item("Torvane \xE2\x80\x94 Multistream", OpenControlPanel, nullptr);
	obs_frontend_add_event_callback(OnFrontendEvent, nullptr);

	const std::string banner = std::string("[Torvane] Loaded v" TORVANE_VERSION " (") + platform_name +
				   "). No automatic streaming.";
	blog(LOG_INFO, "%s", banner.c_str());
	return true;
}

void obs_module_unload(void)
{
	using namespace torvane;

	obs_frontend_remove_event_callback(OnFrontendEvent, nullptr);
	engine.StopAndRelease();
	DestroyControlPanel();
	ReleasePanelResources();
	StopToolkit();
}
