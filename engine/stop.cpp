// Stopping, teardown and the figures the panel reads. All of it runs on the UI
// thread; only the run's atomics are shared with the output threads.
#include "engine/engine.h"

#include <algorithm>
#include <utility>

namespace torvane {

static bool IsBusyState(DestinationState state)
{
	return state == DestinationState::Connecting || state == DestinationState::Sending ||
	       state == DestinationState::Reconnecting || state == DestinationState::Stopping;
}

static bool IsRestingState(DestinationState state)
{
	return state == DestinationState::Ready || state == DestinationState::Failed;
}

// Marks the run as stopped on request, then force-stops its output. The flag is
// stored before the state so that the "stop" signal the force stop raises always
// lands on Ready.
static void RequestStop(DestinationRun &run)
{
	run.stop_requested.exchange(true);

	// A handler may store Ready between our read and our store when the output
	// ends on its own at this moment; a plain store of Stopping would then hide
	// that Ready for good. Only a state that is still live becomes Stopping.
	const DestinationState current = StoreState(run, DestinationState::Stopping, true);

	// libobs answers a force stop of an output that already ended with one more
	// "stop" of code 0, which would turn a failed run into Ready and hide why it
	// failed. Such an output has nothing left to stop.
	if (IsRestingState(current) && !obs_output_active(run.output))
		return;
	obs_output_force_stop(run.output);
}

MultistreamEngine::~MultistreamEngine()
{
	StopAndRelease();
}

void MultistreamEngine::RequestStopAll()
{
	for (const auto &run : runs) {
		if (run->output)
			RequestStop(*run);
	}
}

void MultistreamEngine::StopAndRelease()
{
	RequestStopAll();
	// Outputs hold their encoders (OBS 31 on), so they go first.
	runs.clear();
	groups.clear();
	audio_encoder = nullptr;
}

static void ReleaseRunOutput(DestinationRun &run)
{
	ReleaseOutput(run);
	run.group = nullptr;
	// Nothing is left to report the end of a stop.
	StoreState(run, DestinationState::Ready, true);
}

void MultistreamEngine::ReleaseOutputs()
{
	for (const auto &run : runs)
		ReleaseRunOutput(*run);
	groups.clear();
	audio_encoder = nullptr;
}

void MultistreamEngine::RemoveDestination(uint64_t destination_index)
{
	// The removed record goes first, without the journal's lock: its handlers
	// may be waiting for that lock while its release waits for them.
	runs.erase(std::remove_if(runs.begin(), runs.end(),
				  [&](const std::unique_ptr<DestinationRun> &run) {
					  return run->destination_index == destination_index;
				  }),
		   runs.end());

	// The journal's changes and the records follow their destinations up.
	std::lock_guard<std::mutex> lock(journal.mutex);
	std::vector<StateChange> &changes = journal.changes;
	changes.erase(std::remove_if(
			      changes.begin(), changes.end(),
			      [&](const StateChange &change) { return change.destination_index == destination_index; }),
		      changes.end());
	for (StateChange &change : changes) {
		if (change.destination_index > destination_index)
			change.destination_index--;
	}
	for (const auto &run : runs) {
		if (run->destination_index > destination_index)
			run->destination_index--;
	}
}

std::vector<StateChange> MultistreamEngine::TakeStateChanges()
{
	std::lock_guard<std::mutex> lock(journal.mutex);
	return std::exchange(journal.changes, {});
}

static bool IsRunBusy(const DestinationRun &run)
{
	return IsBusyState(run.state.load()) || (run.output && obs_output_active(run.output));
}

void MultistreamEngine::ReleaseIdleGroups()
{
	std::vector<const EncoderGroup *> busy;
	for (const auto &run : runs) {
		if (run->group && IsRunBusy(*run))
			busy.push_back(run->group);
	}
	auto idle = [&busy](const EncoderGroup *group) {
		return std::find(busy.begin(), busy.end(), group) == busy.end();
	};
	for (const auto &run : runs) {
		if (run->group && idle(run->group))
			ReleaseRunOutput(*run);
	}
	groups.erase(std::remove_if(groups.begin(), groups.end(),
				    [&](const std::unique_ptr<EncoderGroup> &group) { return idle(group.get()); }),
		     groups.end());
	if (std::all_of(groups.begin(), groups.end(), [](const auto &group) { return group->obs_stream; }))
		audio_encoder = nullptr;
}

void MultistreamEngine::ReleaseObsStreamFollowers()
{
	for (const auto &run : runs) {
		if (!run->group || !run->group->obs_stream)
			continue;
		if (run->output)
			RequestStop(*run);
		ReleaseRunOutput(*run);
	}
	groups.erase(std::remove_if(groups.begin(), groups.end(),
				    [](const std::unique_ptr<EncoderGroup> &group) { return group->obs_stream; }),
		     groups.end());
}

obs_encoder_t *MultistreamEngine::VideoEncoderOf(uint64_t destination_index) const
{
	for (const auto &run : runs) {
		if (run->destination_index == destination_index)
			return run->group ? run->group->video_encoder.Get() : nullptr;
	}
	return nullptr;
}

bool MultistreamEngine::StopDestination(uint64_t destination_index)
{
	for (const auto &run : runs) {
		if (run->destination_index == destination_index && run->output && IsRunBusy(*run)) {
			RequestStop(*run);
			return true;
		}
	}
	return false;
}

bool MultistreamEngine::IsBusy() const
{
	for (const auto &run : runs) {
		if (IsRunBusy(*run))
			return true;
	}
	return false;
}

bool MultistreamEngine::IsDestinationBusy(uint64_t destination_index) const
{
	for (const auto &run : runs) {
		if (run->destination_index == destination_index)
			return IsRunBusy(*run);
	}
	return false;
}

DestinationStats MultistreamEngine::GetStats(uint64_t destination_index) const
{
	DestinationStats stats;
	for (const auto &run : runs) {
		if (run->destination_index != destination_index)
			continue;
		stats.state = run->state.load();
		stats.last_code = run->last_code.load();
		stats.frames_dropped =
			run->output ? obs_output_get_frames_dropped(run->output) : run->released_frames_dropped;
		stats.reconnect_limit = reconnect_retries;
		if (stats.state == DestinationState::Failed) {
			std::lock_guard<std::mutex> lock(run->error_mutex);
			stats.last_error = run->last_error;
		}
		if (stats.state == DestinationState::Sending)
			stats.kbps = run->kbps;
		if (stats.state == DestinationState::Reconnecting) {
			stats.reconnect_attempts = run->reconnect_attempts.load();
			// Rounded up: "next in 1 s" until the attempt is made.
			const uint64_t due = run->next_attempt_ns.load(),
				       now = SteadyNanoseconds(std::chrono::steady_clock::now());
			if (due > now)
				stats.next_attempt_seconds = static_cast<int32_t>((due - now + 999999999) / 1000000000);
		}
		break;
	}
	return stats;
}

uint32_t ThroughputKbps(uint64_t earlier_bytes, uint64_t earlier_ns, uint64_t bytes, uint64_t ns)
{
	if (ns <= earlier_ns)
		return 0;
	const uint64_t sent = bytes >= earlier_bytes ? bytes - earlier_bytes : bytes;
	return static_cast<uint32_t>(sent * 8 * 1000000 / (ns - earlier_ns));
}

void MultistreamEngine::SampleThroughput()
{
	const uint64_t now = SteadyNanoseconds(std::chrono::steady_clock::now());
	for (const auto &run : runs) {
		// A sample taken moments after another would count the bytes of a
		// few milliseconds, often none at all.
		if (!run->output || (run->sampled_ns && now - run->sampled_ns < 900000000))
			continue;
		const uint64_t bytes = obs_output_get_total_bytes(run->output);
		// Only a run that sends has a rate: none is carried past an outage.
		const bool sending = run->state.load() == DestinationState::Sending;
		run->kbps = sending && run->sampled_ns ? ThroughputKbps(run->sampled_bytes, run->sampled_ns, bytes, now)
						       : 0;
		run->sampled_bytes = bytes;
		run->sampled_ns = now;
	}
}

} // namespace torvane
