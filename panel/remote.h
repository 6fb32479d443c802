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

// What OBS's own stream did: started, was stopped by the user (OBS's Stop
// Streaming, a hotkey, obs-websocket's StopStream), or ended without a stop
// (it failed to connect or gave up reconnecting).
enum class ObsStream { Started, Stopped, Ended };

// When the settings say so, every enabled destination starts with OBS's stream
// and stops with a stop the user asked for. A start while Torvane already
// streams changes nothing; an end leaves Torvane's destinations sending and
// says so in the status line.
void FollowObsStreaming(ControlPanel &panel, Panel *shown, ObsStream what);

} // namespace torvane
