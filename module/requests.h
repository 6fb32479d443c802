#pragma once

#include "control/controller.h"

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

// One request: its name, and how it is answered with the data the client
// sent (null when none). Requests that act answer {"ok": true} or
// {"ok": false, "code": code, "error": sentence}; a request with a missing,
// wrongly typed or out-of-range field changes nothing.
struct Request {
	const char *name;
	void (*answer)(Controller &controller, obs_data_t *data, obs_data_t *response);
};
inline constexpr size_t request_count = 5;
extern const Request requests[request_count];

const Request *FindRequest(const std::string &name);

// Fills `response` for the request `name`, or refuses a name it does not know.
void AnswerRequest(const std::string &name, obs_data_t *data, obs_data_t *response, Controller &controller);

// A refusal's answer.
void AnswerOutcome(obs_data_t *response, const Outcome &outcome);

// One event's data for each of the engine's state changes, in their order.
std::vector<OBSDataAutoRelease> StateChangeEvents(const std::vector<StateChange> &changes,
						  const PanelSettings &settings, const MultistreamEngine &engine);

} // namespace torvane
