// Torvane's vendor in obs-websocket: its requests and its state event.
#include "module/automation.h"

#include "module/module.h"
#include "module/toolkit.h"
#include "settings/texts.h"

#include <obs-websocket-api.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace torvane {

namespace {

// How long an acting request waits for the UI thread before it gives up.
constexpr int request_wait_seconds = 3;

// An acting request handed to the UI thread. A request that gave up before
// the UI thread took it is cancelled, and is then never carried out.
struct Pending {
	const Request *request = nullptr;
	OBSDataAutoRelease data;
	OBSDataAutoRelease answer;
	bool taken = false, done = false, cancelled = false;
};

void PublishStatus(Module &module)
{
	if (!module.store.load_attempted)
		return;
	OBSDataAutoRelease status = obs_data_create();
	AnswerRequest("GetStatus", nullptr, status, module.controller);
	const std::string json = obs_data_get_json(status);
	std::lock_guard lock(module.vendor.status_lock);
	module.vendor.status_json = json;
}

void AnswerOnUiThread(Pending &pending)
{
	Module *module = LoadedModule();
	if (!module)
		return;
	pending.request->answer(module->controller, pending.data, pending.answer);
	AfterRemoteCommand(*module);
	PublishStatus(*module);
}

void RunPending(void *param)
{
	std::unique_ptr<std::shared_ptr<Pending>> owner(static_cast<std::shared_ptr<Pending> *>(param));
	Pending &pending = **owner;
	// The task may outlive the module, whose unload runs on this thread too.
	Module *module = LoadedModule();
	if (!module)
		return;
	Vendor &vendor = module->vendor;
	{
		std::lock_guard lock(vendor.pending_lock);
		if (pending.cancelled || vendor.released)
			return;
		pending.taken = true;
	}
	AnswerOnUiThread(pending);
	std::lock_guard lock(vendor.pending_lock);
	pending.done = true;
	vendor.pending_changed.notify_all();
}

void Refuse(obs_data_t *response, Refusal code, Txt sentence, const char *name)
{
	AnswerOutcome(response, Outcome{code, Tr(sentence, {name, std::to_string(request_wait_seconds)})});
}

// obs-websocket calls this on a thread of its pool, or on OBS's graphics
// thread inside a SerialFrame batch, where libobs holds its draw callbacks'
// lock. The engine and the panel live on the UI thread, which may itself be
// waiting for obs-websocket's pool or for rendering, so no request waits for
// it without bound, and none waits at all on the graphics thread.
void OnRequest(obs_data_t *data, obs_data_t *response, void *param)
{
	const Vendor::Registered &registered = *static_cast<const Vendor::Registered *>(param);
	Vendor &vendor = *registered.vendor;
	const char *name = registered.request->name;
	if (strcmp(name, "GetStatus") == 0) {
		std::unique_lock lock(vendor.status_lock);
		if (!vendor.status_json.empty()) {
			OBSDataAutoRelease status = obs_data_create_from_json(vendor.status_json.c_str());
			lock.unlock();
			obs_data_apply(response, status);
			return;
		}
	}
	if (obs_in_task_thread(OBS_TASK_GRAPHICS))
		return Refuse(response, Refusal::RequestInFrame, Txt::RequestInFrame, name);

	auto pending = std::make_shared<Pending>();
	pending->request = registered.request;
	pending->data = obs_data_create_from_json(data ? obs_data_get_json(data) : "{}");
	pending->answer = obs_data_create();
	if (obs_in_task_thread(OBS_TASK_UI)) { // a request another module makes on the UI thread
		AnswerOnUiThread(*pending);
		return obs_data_apply(response, pending->answer);
	}
	{
		std::lock_guard lock(vendor.pending_lock);
		if (vendor.released)
			return Refuse(response, Refusal::RequestAtExit, Txt::RequestAtExit, name);
	}
	obs_queue_task(OBS_TASK_UI, RunPending, new std::shared_ptr<Pending>(pending), false);

	std::unique_lock lock(vendor.pending_lock);
	vendor.pending_changed.wait_for(lock, std::chrono::seconds(request_wait_seconds),
					[&]() { return pending->done || vendor.released; });
	if (pending->done)
		return obs_data_apply(response, pending->answer);
	if (pending->taken)
		return Refuse(response, Refusal::RequestUnfinished, Txt::RequestUnfinished, name);
	// Never carried out now: what the task holds goes at once, in case OBS
	// exits before its UI thread runs the task.
	pending->cancelled = true;
	pending->data = nullptr;
	pending->answer = nullptr;
	if (vendor.released)
		Refuse(response, Refusal::RequestAtExit, Txt::RequestAtExit, name);
	else
		Refuse(response, Refusal::RequestNotTaken, Txt::RequestNotTaken, name);
}

} // namespace

void TickVendor(Module &module)
{
	if (!module.vendor.handle)
		return;
	MultistreamEngine &engine = module.engine;
	for (const OBSDataAutoRelease &event :
	     StateChangeEvents(engine.TakeStateChanges(), module.store.settings, engine))
		obs_websocket_vendor_emit_event(module.vendor.handle, state_changed_event, event);
	PublishStatus(module);
}

void RegisterVendor(Module &module)
{
	Vendor &vendor = module.vendor;
	vendor.handle = obs_websocket_register_vendor(vendor_name);
	if (!vendor.handle)
		return;
	{
		std::lock_guard lock(vendor.pending_lock);
		vendor.released = false;
	}
	for (size_t i = 0; i < request_count; i++) {
		vendor.registered[i] = {&vendor, &requests[i]};
		obs_websocket_vendor_register_request(vendor.handle, requests[i].name, OnRequest,
						      &vendor.registered[i]);
	}
}

void ReleaseVendor(Module &module)
{
	Vendor &vendor = module.vendor;
	if (!vendor.handle)
		return;
	{
		// A request still waiting answers at once, and none is carried out.
		std::lock_guard lock(vendor.pending_lock);
		vendor.released = true;
		vendor.pending_changed.notify_all();
	}
	for (const Request &request : requests)
		obs_websocket_vendor_unregister_request(vendor.handle, request.name);
	vendor.handle = nullptr;
}

} // namespace torvane
