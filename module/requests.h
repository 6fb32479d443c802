#pragma once

#include "panel/panel.h"

#include <obs.hpp>

#include <cstddef>
#include <string>
#include <vector>

// The requests and the event of Torvane's obs-websocket vendor, independent of
// obs-websocket itself: every answer and event is a settings object, built on
// the UI thread. Nothing in them ever carries a stream key, a password, a user
// name or a server URL (a URL may hold credentials).
namespace torvane {

inline constexpr const char *vendor_name = "torvane";
inline constexpr const char *state_changed_event = "DestinationStateChanged";

inline constexpr size_t request_count = 5;
extern const char *const request_names[request_count];

// Fills `response` for the request `name` with its data (null when the client
// sent none), acting on the panel's objects as its buttons would. Requests
// that act answer {"ok": true} or {"ok": false, "error": sentence}; a request
// with a missing, wrongly typed or out-of-range field changes nothing.
void AnswerRequest(const std::string &name, obs_data_t *data, obs_data_t *response, ControlPanel &panel, Panel *shown,
		   VideoInfoSource video_info);

// One event's data for each of the engine's state changes, in their order.
std::vector<OBSDataAutoRelease> StateChangeEvents(const std::vector<StateChange> &changes,
						  const PanelSettings &settings, const MultistreamEngine &engine);

} // namespace torvane
