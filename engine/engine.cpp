// Run records and the output signals that move them. The handlers run on the
// output's own threads while the UI thread reads the same records, so they touch
// nothing but the three atomics of their run.
#include "engine/engine.h"

namespace torvane {

MultistreamEngine engine;

static void StoreState(DestinationRun *run, DestinationState state)
{
	run->state.exchange(static_cast<uint32_t>(state));
}

void OnOutputActive(void *data, calldata_t *)
{
	auto *run = static_cast<DestinationRun *>(data);
	if (!run->stop_requested.load())
		StoreState(run, DestinationState::Sending);
}

void OnOutputReconnecting(void *data, calldata_t *)
{
	auto *run = static_cast<DestinationRun *>(data);
	if (!run->stop_requested.load())
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

const char *DestinationStateText(uint32_t state, int32_t last_code)
{
	switch (static_cast<DestinationState>(state)) {
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

void ConnectRunHandlers(DestinationRun *run)
{
	signal_handler_t *signals = obs_output_get_signal_handler(run->output);
	signal_handler_connect(signals, "start", OnOutputActive, run);
	signal_handler_connect(signals, "stop", OnOutputStopped, run);
	signal_handler_connect(signals, "reconnect", OnOutputReconnecting, run);
	signal_handler_connect(signals, "reconnect_success", OnOutputActive, run);
}

void ReleaseRun(DestinationRun *run)
{
	if (!run)
		return;

	if (run->output) {
		// Disconnect first: the force stop below raises "stop" once more, and
		// that signal must not reach a record that is about to be freed.
		// libobs takes the signal's lock both to call and to disconnect, so
		// once this returns no handler of this run is still running.
		signal_handler_t *signals = obs_output_get_signal_handler(run->output);
		signal_handler_disconnect(signals, "start", OnOutputActive, run);
		signal_handler_disconnect(signals, "stop", OnOutputStopped, run);
		signal_handler_disconnect(signals, "reconnect", OnOutputReconnecting, run);
		signal_handler_disconnect(signals, "reconnect_success", OnOutputActive, run);
		obs_output_force_stop(run->output);
		obs_output_release(run->output);
		run->output = nullptr;
	}
	if (run->service) {
		obs_service_release(run->service);
		run->service = nullptr;
	}
	delete run;
}

} // namespace torvane
