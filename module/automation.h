#pragma once

#include "module/requests.h"

#include <obs-module.h>

#include <condition_variable>
#include <mutex>
#include <string>

// What drives the controller from outside the panel: the two hotkeys in OBS's
// Settings -> Hotkeys and Torvane's obs-websocket vendor.
namespace torvane {

struct Module;

// "Torvane: Start all" and "Torvane: Stop all": their ids while registered.
struct Hotkeys {
	obs_hotkey_id start_all = OBS_INVALID_HOTKEY_ID;
	obs_hotkey_id stop_all = OBS_INVALID_HOTKEY_ID;
};

// At load, with their bindings kept in the scene collection through the
// front-end save callback.
void RegisterHotkeys(Module &module);
void UnregisterHotkeys(Module &module);

// Torvane's vendor in obs-websocket. Its requests arrive on obs-websocket's
// threads; the published status and the waiting requests are shared with the
// UI thread under their locks.
struct Vendor {
	void *handle = nullptr; // obs_websocket_vendor
	std::mutex status_lock;
	std::string status_json; // the GetStatus answer, empty until the settings were loaded
	std::mutex pending_lock;
	std::condition_variable pending_changed;
	bool released = true; // no request waits while the vendor is not registered
	struct Registered {
		Vendor *vendor;
		const Request *request;
	} registered[request_count];
};

// After every module has loaded: registers the vendor "torvane" when
// obs-websocket is loaded. Does nothing without obs-websocket.
void RegisterVendor(Module &module);
// Once a second while the vendor is registered: one event for each state
// change since the last tick, and the status GetStatus answers with.
void TickVendor(Module &module);
// When OBS exits, while obs-websocket is still loaded: no request reaches the
// module any more.
void ReleaseVendor(Module &module);

} // namespace torvane
