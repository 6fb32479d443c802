// Run records and the output signals that move them. The handlers run on the
// output's own threads while the UI thread reads the same records, so they touch
// nothing but the atomics of their run and, under its lock, the journal.
#include "engine/engine.h"

#include "settings/protocol.h"
#include "settings/texts.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <string_view>

namespace torvane {

namespace {

bool ContainsNoCase(std::string_view text, std::string_view part)
{
	return !part.empty() && std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
					return std::tolower(static_cast<unsigned char>(a)) ==
					       std::tolower(static_cast<unsigned char>(b));
				}) != text.end();
}

// The host of a server URL: after "://", up to its port, path or query,
// without the brackets of an IPv6 address.
std::string_view UrlHost(std::string_view url)
{
	const size_t scheme = url.find("://");
	if (scheme == std::string_view::npos)
		return std::string_view();
	url = url.substr(scheme + 3);
	url = url.substr(0, url.find_first_of("/?"));
	if (!url.empty() && url.front() == '[')
		return url.substr(1, url.find(']') - 1);
	return url.substr(0, url.find(':'));
}

// OBS's last error for the run's output, or empty when it gave none or the
// text holds anything of the destination's connection: its server URL or
// host, the values of the URL's query (an SRT URL may carry a passphrase),
// key, user name, password or passphrase. Without a server to compare
// against, and without a key for RTMP, nothing is kept.
std::string ScrubbedOutputError(const DestinationRun &run)
{
	const char *error = run.output ? obs_output_get_last_error(run.output) : nullptr;
	if (!error || !*error || !run.service)
		return std::string();
	auto info = [&run](uint32_t type) {
		const char *value = obs_service_get_connect_info(run.service, type);
		return std::string_view(value ? value : "");
	};
	const std::string_view server = info(OBS_SERVICE_CONNECT_INFO_SERVER_URL);
	const std::string_view key = info(OBS_SERVICE_CONNECT_INFO_STREAM_KEY);
	if (server.empty() || (key.empty() && !IsMpegTs(ProtocolOf(server))))
		return std::string();
	std::vector<std::string_view> secrets = QueryValues(server);
	for (std::string_view secret :
	     {server, UrlHost(server), key, info(OBS_SERVICE_CONNECT_INFO_USERNAME),
	      info(OBS_SERVICE_CONNECT_INFO_PASSWORD), info(OBS_SERVICE_CONNECT_INFO_ENCRYPT_PASSPHRASE)})
		secrets.push_back(secret);
	for (std::string_view secret : secrets) {
		if (ContainsNoCase(error, secret))
			return std::string();
	}
	return error;
}

} // namespace

DestinationState StoreState(DestinationRun &run, DestinationState state, bool only_if_live)
{
	// Under the journal's lock the journal keeps the order of the stores, and
	// the run's position cannot move.
	std::unique_lock<std::mutex> lock;
	if (run.journal)
		lock = std::unique_lock<std::mutex>(run.journal->mutex);
	DestinationState before = run.state.load();
	do {
		if (only_if_live && (before == DestinationState::Ready || before == DestinationState::Failed))
			return before;
	} while (!run.state.compare_exchange_weak(before, state));
	if (run.journal && before != state) {
		std::vector<StateChange> &changes = run.journal->changes;
		if (changes.size() >= state_journal_limit)
			changes.erase(changes.begin());
		changes.push_back(
			StateChange{run.destination_index, state, run.last_code.load(), ++run.journal->stored});
	}
	return before;
}

void OnOutputActive(void *data, calldata_t *)
{
	auto *run = static_cast<DestinationRun *>(data);
	if (run->stop_requested.load())
		return;
	// Connected again: the outage is over.
	run->reconnect_attempts.exchange(0);
	run->next_attempt_ns.exchange(0);
	StoreState(*run, DestinationState::Sending);
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
	StoreState(*run, DestinationState::Reconnecting);
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
	// The error goes in first: whoever reads Failed finds its reason.
	if (failed)
		RecordFailure(*run);
	StoreState(*run, failed ? DestinationState::Failed : DestinationState::Ready);
}

const char *DestinationStateText(DestinationState state, int32_t last_code)
{
	switch (state) {
	case DestinationState::Connecting:
		return Tr(Txt::StateConnecting);
	case DestinationState::Sending:
		return Tr(Txt::StateSending);
	case DestinationState::Reconnecting:
		return Tr(Txt::StateReconnecting);
	case DestinationState::Stopping:
		return Tr(Txt::StateStopping);
	case DestinationState::Failed:
		switch (last_code) {
		case OBS_OUTPUT_BAD_PATH:
			return Tr(Txt::StateBadUrl);
		case OBS_OUTPUT_CONNECT_FAILED:
			return Tr(Txt::StateConnectFailed);
		case OBS_OUTPUT_INVALID_STREAM:
			return Tr(Txt::StateBadKey);
		case OBS_OUTPUT_DISCONNECTED:
			return Tr(Txt::StateDisconnected);
		case OBS_OUTPUT_ENCODE_ERROR:
			return Tr(Txt::StateEncoderFailed);
		default:
			// OBS's MPEG-TS output stops with FFmpeg's own error, below
			// OBS's codes, when its SRT or RIST connection cannot be opened,
			// a refused passphrase included.
			return Tr(last_code < OBS_OUTPUT_HDR_DISABLED ? Txt::StateConnectFailed : Txt::StateFailed);
		}
	case DestinationState::Ready:
		break;
	}
	return Tr(Txt::StateReady);
}

void RecordFailure(DestinationRun &run)
{
	const std::string error = ScrubbedOutputError(run);
	{
		std::lock_guard<std::mutex> lock(run.error_mutex);
		run.last_error = error;
	}
	uint64_t index;
	{
		// The run's position moves only under the journal's lock.
		std::unique_lock<std::mutex> lock;
		if (run.journal)
			lock = std::unique_lock<std::mutex>(run.journal->mutex);
		index = run.destination_index;
	}
	const int32_t code = run.last_code.load();
	blog(LOG_WARNING, "[Torvane] The destination at index %" PRIu64 " failed: %s (code %d)%s%s", index,
	     DestinationStateText(DestinationState::Failed, code), code, error.empty() ? "" : ". OBS: ", error.c_str());
}

void ConnectRunHandlers(DestinationRun &run)
{
	signal_handler_t *signals = obs_output_get_signal_handler(run.output);
	run.handlers[0].Connect(signals, "start", OnOutputActive, &run);
	run.handlers[1].Connect(signals, "stop", OnOutputStopped, &run);
	run.handlers[2].Connect(signals, "reconnect", OnOutputReconnecting, &run);
	run.handlers[3].Connect(signals, "reconnect_success", OnOutputActive, &run);
}

void ReleaseOutput(DestinationRun &run)
{
	// Disconnect first: the force stop below raises "stop" once more, and that
	// signal must not reach a record that is about to be freed. libobs takes
	// the signal's lock both to call and to disconnect, so once this returns no
	// handler of this run is still running.
	for (OBSSignal &handler : run.handlers)
		handler.Disconnect();
	if (run.output) {
		run.released_frames_dropped = obs_output_get_frames_dropped(run.output);
		// OBS 32's MPEG-TS output never reports the end of a stop asked of an
		// output that has already ended, and releasing it would then wait for
		// that report forever.
		if (!run.mpegts || obs_output_active(run.output))
			obs_output_force_stop(run.output);
	}
	run.output = nullptr;
	run.service = nullptr;
}

DestinationRun::~DestinationRun()
{
	ReleaseOutput(*this);
}

} // namespace torvane
