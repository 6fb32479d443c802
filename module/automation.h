#pragma once

#include "panel/panel.h"

// What drives the panel's commands from outside its window: the two hotkeys
// in OBS's Settings -> Hotkeys. Everything here runs on the host's UI thread.
namespace torvane {

// At load: "Torvane: Start all" and "Torvane: Stop all", with their bindings
// kept in the scene collection through the front-end save callback.
void RegisterHotkeys(ControlPanel &panel);
void UnregisterHotkeys();

} // namespace torvane
