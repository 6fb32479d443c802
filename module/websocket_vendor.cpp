// Torvane's vendor in obs-websocket: its requests and its state event.
#include "module/automation.h"

#include "module/requests.h"
#include "module/toolkit.h"

#include <obs-websocket-api.h>

namespace torvane {

namespace {

obs_websocket_vendor vendor = nullptr;
ControlPanel *vendor_panel = nullptr;
std::vector<DestinationState> seen_states;

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

struct Call {
	const char *name;
	obs_data_t *data;
	obs_data_t *response;
};

void AnswerOnUiThread(void *param)
{
	Call &call = *static_cast<Call *>(param);
	if (vendor_panel)
		AnswerRequest(call.name, call.data, call.response, *vendor_panel, ShownPanel(*vendor_panel),
			      HostVideoInfo);
}

// obs-websocket calls this on one of its own threads; the engine and the panel
// live on the UI thread, so the answer is made there while this waits.
void OnRequest(obs_data_t *data, obs_data_t *response, void *name)
{
	Call call{static_cast<const char *>(name), data, response};
	obs_queue_task(OBS_TASK_UI, AnswerOnUiThread, &call, true);
}

// Once a second on the UI thread: the throughput GetStatus reports, and one
// event for each state change since the last second.
void EmitStateChanges()
{
	if (!vendor || !vendor_panel)
		return;
	MultistreamEngine &engine = vendor_panel->engine;
	engine.SampleThroughput();
	for (const OBSDataAutoRelease &event :
	     StateChangeEvents(engine.TakeStateChanges(), vendor_panel->store.settings, engine))
		obs_websocket_vendor_emit_event(vendor, state_changed_event, event);
}

} // namespace

void RegisterVendor(ControlPanel &panel)
{
	vendor = obs_websocket_register_vendor(vendor_name);
	if (!vendor)
		return;
	vendor_panel = &panel;
	for (const char *name : request_names)
		obs_websocket_vendor_register_request(vendor, name, OnRequest, const_cast<char *>(name));
	StartTicker(EmitStateChanges);
}

void ReleaseVendor()
{
	if (!vendor)
		return;
	StopTicker();
	for (const char *name : request_names)
		obs_websocket_vendor_unregister_request(vendor, name);
	vendor = nullptr;
	vendor_panel = nullptr;
}

} // namespace torvane
