// Torvane's vendor in obs-websocket: its requests and its state event.
#include "module/automation.h"

#include "module/requests.h"
#include "module/toolkit.h"
#include "settings/texts.h"

#include <obs-websocket-api.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace torvane {

namespace {

obs_websocket_vendor vendor = nullptr;
ControlPanel *vendor_panel = nullptr;

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

// How long an acting request waits for the UI thread before it gives up.
constexpr int request_wait_seconds = 3;

// The GetStatus answer as JSON, published on the UI thread; empty until the
// settings were loaded there.
std::mutex status_lock;
std::string status_json;

// An acting request handed to the UI thread. A request that gave up before
// the UI thread took it is cancelled, and is then never carried out.
struct Pending {
	std::string name;
	OBSDataAutoRelease data;
	OBSDataAutoRelease answer;
	bool taken = false, done = false, cancelled = false;
};
std::mutex pending_lock;
std::condition_variable pending_changed;
bool released = true; // no request waits while the vendor is not registered

void PublishStatus()
{
	if (!vendor_panel || !vendor_panel->store.load_attempted)
		return;
	OBSDataAutoRelease status = obs_data_create();
	AnswerRequest("GetStatus", nullptr, status, *vendor_panel, ShownPanel(*vendor_panel), HostVideoInfo);
	const std::string json = obs_data_get_json(status);
	std::lock_guard lock(status_lock);
	status_json = json;
}

void AnswerOnUiThread(Pending &pending)
{
	if (vendor_panel)
		AnswerRequest(pending.name, pending.data, pending.answer, *vendor_panel, ShownPanel(*vendor_panel),
			      HostVideoInfo);
	PublishStatus();
}

void RunPending(void *param)
{
	std::unique_ptr<std::shared_ptr<Pending>> owner(static_cast<std::shared_ptr<Pending> *>(param));
	Pending &pending = **owner;
	{
		std::lock_guard lock(pending_lock);
		if (pending.cancelled || released)
			return;
		pending.taken = true;
	}
	AnswerOnUiThread(pending);
	std::lock_guard lock(pending_lock);
	pending.done = true;
	pending_changed.notify_all();
}

void Refuse(obs_data_t *response, Txt sentence, const char *name)
{
	obs_data_set_bool(response, "ok", false);
	obs_data_set_string(response, "error", Tr(sentence, {name, std::to_string(request_wait_seconds)}).c_str());
}

// obs-websocket calls this on a thread of its pool, or on OBS's graphics
// thread inside a SerialFrame batch, where libobs holds its draw callbacks'
// lock. The engine and the panel live on the UI thread, which may itself be
// waiting for obs-websocket's pool or for rendering, so no request waits for
// it without bound, and none waits at all on the graphics thread.
void OnRequest(obs_data_t *data, obs_data_t *response, void *param)
{
	const char *name = static_cast<const char *>(param);
	if (strcmp(name, "GetStatus") == 0) {
		std::unique_lock lock(status_lock);
		if (!status_json.empty()) {
			OBSDataAutoRelease status = obs_data_create_from_json(status_json.c_str());
			lock.unlock();
			obs_data_apply(response, status);
			return;
		}
	}
	if (obs_in_task_thread(OBS_TASK_GRAPHICS))
		return Refuse(response, Txt::RequestInFrame, name);

	auto pending = std::make_shared<Pending>();
	pending->name = name;
	pending->data = obs_data_create_from_json(data ? obs_data_get_json(data) : "{}");
	pending->answer = obs_data_create();
	if (obs_in_task_thread(OBS_TASK_UI)) { // a request another module makes on the UI thread
		AnswerOnUiThread(*pending);
		return obs_data_apply(response, pending->answer);
	}
	{
		std::lock_guard lock(pending_lock);
		if (released)
			return Refuse(response, Txt::RequestAtExit, name);
	}
	obs_queue_task(OBS_TASK_UI, RunPending, new std::shared_ptr<Pending>(pending), false);

	std::unique_lock lock(pending_lock);
	pending_changed.wait_for(lock, std::chrono::seconds(request_wait_seconds),
				 [&]() { return pending->done || released; });
	if (pending->done)
		return obs_data_apply(response, pending->answer);
	if (pending->taken)
		return Refuse(response, Txt::RequestUnfinished, name);
	// Never carried out now: what the task holds goes at once, in case OBS
	// exits before its UI thread runs the task.
	pending->cancelled = true;
	pending->data = nullptr;
	pending->answer = nullptr;
	Refuse(response, released ? Txt::RequestAtExit : Txt::RequestNotTaken, name);
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
	{
		std::lock_guard lock(pending_lock);
		released = false;
	}
	for (const char *name : request_names)
		obs_websocket_vendor_register_request(vendor, name, OnRequest, const_cast<char *>(name));
	StartTicker([]() {
		EmitStateChanges();
		PublishStatus();
	});
}

void ReleaseVendor()
{
	if (!vendor)
		return;
	StopTicker();
	{
		// A request still waiting answers at once, and none is carried out.
		std::lock_guard lock(pending_lock);
		released = true;
		pending_changed.notify_all();
	}
	for (const char *name : request_names)
		obs_websocket_vendor_unregister_request(vendor, name);
	vendor = nullptr;
	vendor_panel = nullptr;
}

} // namespace torvane
