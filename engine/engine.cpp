// Run records and the output signals that move them. The handlers run on the
// output's own threads while the UI thread reads the same records, so they touch
// nothing but the atomics of their run.
#include "engine/engine.h"

#include <algorithm>
#include <chrono>

namespace torvane {

static void StoreState(DestinationRun *run, DestinationState state)
{
	run->state.exchange(state);
}

void OnOutputActive(void *data, calldata_t *)
{
	auto *run = static_cast<DestinationRun *>(data);
	if (run->stop_requested.load())
		return;
	// Connected again: the outage is over.
	run->reconnect_attempts.exchange(0);
	run->next_attempt_ns.exchange(0);
	StoreState(run, DestinationState::Sending);
}

void OnOutputReconnecting(void *data, calldata_t *params)
{
	auto *run = static_cast<DestinationRun *>(data);
	if (run->stop_requested.load())
		return;
	// libobs raises one "reconnect" per attempt it schedules, with the delay
	// before that attempt.
	long long timeout_sec = 0;
	calldata_get_int(params, "timeout_sec", &timeout_sec);
	const auto due = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeout_sec, 0ll));
	run->next_attempt_ns.exchange(SteadyNanoseconds(due));
	run->reconnect_attempts.fetch_add(1);
	StoreState(run, DestinationState::Reconnecting);
}

void OnOutputStopped(void *data, calldata_t *params)
{
	auto *run = static_cast<DestinationRun *>(data);
	long long code = 0;
	calldata_get_int(params, "code", &code);
	const int32_t last_code = static_cast<int32_t>(code);
	run->last_code.exchange(last_code);

	// After a stop request every ending is a clean one: the user never sees a
	// failure for a stream they stopped themselves.
	const bool failed = !run->stop_requested.load() && last_code != 0;
	StoreState(run, failed ? DestinationState::Failed : DestinationState::Ready);
}

const char *DestinationStateText(DestinationState state, int32_t last_code)
{
	switch (state) {
	case DestinationState::Connecting:
		return "Connecting...";
	case DestinationState::Sending:
		return "Sending";
	case DestinationState::Reconnecting:
		return "Reconnecting...";
	case DestinationState::Stopping:
		return "Stopping...";
	case DestinationState::Failed:
		switch (last_code) {
		case OBS_OUTPUT_BAD_PATH:
			return "Failed: server URL";
		case OBS_OUTPUT_CONNECT_FAILED:
			return "Failed: connection";
		case OBS_OUTPUT_INVALID_STREAM:
			return "Failed: stream key";
		case OBS_OUTPUT_DISCONNECTED:
			return "Disconnected";
		case OBS_OUTPUT_ENCODE_ERROR:
			return "Failed: encoder";
		default:
			return "Failed: check settings";
		}
	case DestinationState::Ready:
		break;
	}
	return "Ready";
}

void ConnectRunHandlers(DestinationRun &run)
{
	signal_handler_t *signals = obs_output_get_signal_handler(run.output);
	run.handlers[0].Connect(signals, "start", OnOutputActive, &run);
	run.handlers[1].Connect(signals, "stop", OnOutputStopped, &run);
	run.handlers[2].Connect(signals, "reconnect", OnOutputReconnecting, &run);
	run.handlers[3].Connect(signals, "reconnect_success", OnOutputActive, &run);
}

DestinationRun::~DestinationRun()
{
	// Disconnect first: the force stop below raises "stop" once more, and that
	// signal must not reach a record that is about to be freed. libobs takes
	// the signal's lock both to call and to disconnect, so once this returns no
	// handler of this run is still running.
	for (OBSSignal &handler : handlers)
		handler.Disconnect();
	if (output)
		obs_output_force_stop(output);
	output = nullptr;
	service = nullptr;
}

} // namespace torvane
