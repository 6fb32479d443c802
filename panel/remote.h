#pragma once

#include "panel/panel.h"

#include <string>

// The panel's "Start all" and "Stop all" for callers outside its window: the
// hotkeys, OBS's own Start Streaming and remote requests. They do what the
// buttons do, whether the panel is open, hidden or was never opened; a
// refusal's sentence goes to the status line (shown when the panel opens) and
// never into a message box, since no one may be at the screen.
namespace torvane {

// `shown` is the behaviour of the panel's window, null without one. False
// when it refused or failed, with the sentence in `error`.
bool RemoteStartAll(ControlPanel &panel, Panel *shown, std::string &error);
void RemoteStopAll(ControlPanel &panel, Panel *shown);

// One destination, by its place in the list (which the caller has checked):
// a start saves first as "Start all" does; a stop of a destination that is not
// streaming is refused. False with the sentence in `error`.
bool RemoteStartDestination(ControlPanel &panel, Panel *shown, size_t index, std::string &error);
bool RemoteStopDestination(ControlPanel &panel, Panel *shown, size_t index, std::string &error);

// OBS's own streaming started or stopped: when the settings say so, every
// enabled destination starts or stops with it.
void FollowObsStreaming(ControlPanel &panel, Panel *shown, bool started);

} // namespace torvane
