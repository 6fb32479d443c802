#pragma once

#include "panel/panel.h"

// What drives the panel's commands from outside its window: the two hotkeys
// in OBS's Settings -> Hotkeys and Torvane's obs-websocket vendor. Everything
// here runs on the host's UI thread.
namespace torvane {

// At load: "Torvane: Start all" and "Torvane: Stop all", with their bindings
// kept in the scene collection through the front-end save callback.
void RegisterHotkeys(ControlPanel &panel);
void UnregisterHotkeys();

// After every module has loaded: registers the vendor "torvane" when
// obs-websocket is loaded, and starts watching the destinations' states for its
// event. Does nothing without obs-websocket.
void RegisterVendor(ControlPanel &panel);
// When OBS exits, while obs-websocket is still loaded: no request reaches the
// module any more.
void ReleaseVendor();

} // namespace torvane
