#pragma once

#include "settings/model.h"

#include <obs.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace torvane {

// What one destination's output is doing.
enum class DestinationState : uint32_t {
	Ready = 0,
	Connecting = 1,
	Sending = 2,
	Reconnecting = 3,
	Stopping = 4,
	Failed = 5,
};

// How an output retries after its connection drops: at most this many
// attempts per outage, the first after this delay (libobs lengthens the
// later ones and says by how much in each "reconnect" signal).
constexpr int32_t reconnect_retries = 20;
constexpr int32_t reconnect_delay_sec = 2;

// One change of a destination's state, with the stop code it had then.
struct StateChange {
	uint64_t destination_index = 0;
	DestinationState state = DestinationState::Ready;
	int32_t last_code = 0;
	uint64_t sequence = 0; // counts the engine's changes from 1, in their order
};

// The state changes of every run, in the order they were stored, until the UI
// thread takes them. Owned by the engine, so a change survives the release of
// its record. Every store of a run's state takes the lock, and so does every
// change of a run's position (destination_index). Holds the most recent
// state_journal_limit changes when nobody takes them.
struct StateJournal {
	std::mutex mutex;
	std::vector<StateChange> changes;
	uint64_t stored = 0; // changes ever stored
};
constexpr size_t state_journal_limit = 1024;

// One destination of the current or last start. Allocated on its own: its
// address is the private data of its output's signal handlers. The output's
// threads touch only the atomics, the journal under its lock and last_error
// under error_mutex.
//
// The record owns its output, its service and the connections of its handlers.
// Destroying it disconnects the handlers, then force-stops and releases the
// output, then releases the service, so no signal ever reaches a freed record.
struct EncoderGroup;
struct DestinationRun {
	uint64_t destination_index = 0;  // position in the whole destination list
	StateJournal *journal = nullptr; // the engine's; none for a record made by hand
	EncoderGroup *group = nullptr;   // the encode its output takes; none once the output is released
	bool mpegts = false;             // SRT or RIST through OBS's MPEG-TS output
	OBSOutputAutoRelease output;
	OBSServiceAutoRelease service;
	std::atomic<DestinationState> state{DestinationState::Ready};
	std::atomic<int32_t> last_code{0};
	std::atomic<bool> stop_requested{false};
	// The current outage: "reconnect" signals since the last "start" or
	// "reconnect_success", and when the next attempt is due (SteadyNanoseconds).
	std::atomic<int32_t> reconnect_attempts{0};
	std::atomic<uint64_t> next_attempt_ns{0};
	std::array<OBSSignal, 4> handlers;
	// OBS's own words for the failure the run ended with, or empty: none given,
	// or dropped for holding the server, the key or the credentials.
	mutable std::mutex error_mutex;
	std::string last_error;
	int32_t released_frames_dropped = 0; // what the output dropped, once released

	// Throughput, sampled on the UI thread only.
	uint64_t sampled_bytes = 0;
	uint64_t sampled_ns = 0; // 0: no sample yet
	uint32_t kbps = 0;

	DestinationRun() = default;
	DestinationRun(const DestinationRun &) = delete;
	DestinationRun &operator=(const DestinationRun &) = delete;
	~DestinationRun();
};

// A destination's figures as the panel shows them.
struct DestinationStats {
	DestinationState state = DestinationState::Ready;
	int32_t last_code = 0;
	int32_t frames_dropped = 0;
	uint32_t kbps = 0;                // sent over the last second, while sending (else 0)
	int32_t reconnect_attempts = 0;   // attempts in the current outage (0 unless reconnecting)
	int32_t reconnect_limit = 0;      // the output's retry limit, e.g. 20 ("attempt 3 of 20")
	int32_t next_attempt_seconds = 0; // seconds until the next attempt, while reconnecting
	std::string last_error = {};      // OBS's own words for a failure, or empty
};

struct EncodedSize {
	uint32_t width = 0;
	uint32_t height = 0;
};

// What a group's encoder is made for, decided before it starts.
struct GroupMode {
	bool kick = false;           // Kick mode: main profile, no B-frames
	bool repeat_headers = false; // headers at every keyframe, for SRT and RIST receivers
	GroupMode &operator|=(GroupMode other)
	{
		kick |= other.kick;
		repeat_headers |= other.repeat_headers;
		return *this;
	}
};

// What one video encoder makes: a picture at a quality, its encoder the id the
// choice resolved to.
struct EncodeKey {
	Picture picture;
	Quality quality;

	bool operator==(const EncodeKey &other) const { return picture == other.picture && quality == other.quality; }
};

// The destinations that stream one picture at one quality share one video encoder.
struct PictureMix;
struct EncoderGroup {
	Quality quality; // its encoder: the id the choice resolved to
	Picture picture;
	bool kick_mode = false;          // made for an enabled Kick destination among them
	bool repeat_headers = false;     // made for an SRT or RIST destination among them
	int number = 1;                  // in the encoder's name: "Torvane H264", "Torvane H264 2", ...
	std::shared_ptr<PictureMix> mix; // none for the program; goes after the encoder
	OBSEncoderAutoRelease video_encoder;
	// A group that sends OBS's own stream holds references to OBS's encoders,
	// audio included; the others take the engine's audio encoder.
	bool obs_stream = false;
	OBSEncoderAutoRelease audio_encoder;
};

// OBS's own stream's encoders as the host has them at this moment, which the
// engine takes references of its own to. `multitrack`: Enhanced Broadcasting
// streams several video tracks, and there is no single encoder to share.
struct ObsStreamEncoders {
	obs_encoder_t *video = nullptr;
	obs_encoder_t *audio = nullptr;
	bool live = false;
	bool multitrack = false;
};
using ObsStreamSource = ObsStreamEncoders (*)();

// The sentence that refuses a destination sending OBS's own stream, or empty.
std::string ObsStreamProblem(const ObsStreamEncoders &obs);

// One video encode per distinct picture and quality, each scaled on the GPU from
// the host's mix or its picture's own, and one AAC encode, fanned out to one
// output per enabled destination. Every operation runs on the host's UI thread.
struct MultistreamEngine {
	StateJournal journal; // outlives the runs
	std::vector<std::unique_ptr<EncoderGroup>> groups;
	OBSEncoderAutoRelease audio_encoder;
	std::vector<std::unique_ptr<DestinationRun>> runs; // after the groups: released first

	MultistreamEngine() = default;
	MultistreamEngine(const MultistreamEngine &) = delete;
	MultistreamEngine &operator=(const MultistreamEngine &) = delete;
	~MultistreamEngine();

	// Starts every enabled destination. False with one sentence in `error`
	// when it refuses or nothing could start.
	// A destination that sends OBS's own stream joins `obs`'s encoders; one
	// that cannot gets a failed record with the reason.
	bool StartAll(const PanelSettings &settings, std::string &error, const ObsStreamEncoders &obs = {});

	// Starts one destination: attaches one more output to the running encoder
	// of its quality, or creates that encoder alone as StartAll does, leaving
	// the other qualities' encoders and outputs as they are. Validates that
	// destination and its quality with the same rules and sentences as
	// StartAll; refuses a destination that is busy. False with one sentence in
	// `error`.
	bool StartDestination(const PanelSettings &settings, uint64_t destination_index, std::string &error,
			      const ObsStreamEncoders &obs = {});

	// OBS's own stream is stopping or ended: the outputs that send it stop and
	// are released with every reference to OBS's encoders, before OBS can
	// release them itself; the records keep their states.
	void ReleaseObsStreamFollowers();

	// Force-stops one output, leaving the others untouched. False when it was
	// not busy.
	bool StopDestination(uint64_t destination_index);

	// Force-stops every output that still runs and keeps the records, so their
	// states can settle on Ready; a failed run keeps its failure on show.
	void RequestStopAll();

	// Force-stops and releases every output, service and encoder.
	void StopAndRelease();

	// Releases every output, service and encoder of an idle engine and keeps
	// the records, which go on showing their states.
	void ReleaseOutputs();

	// Releases the encoder of every quality whose destinations have all
	// stopped, with those destinations' outputs, and the audio encoder with
	// the last of them; the records keep their states. A stop ends on an
	// output's thread, so the refresh calls this once a second.
	void ReleaseIdleGroups();

	// The video encoder a destination's output takes, or null.
	obs_encoder_t *VideoEncoderOf(uint64_t destination_index) const;

	// The destination at `destination_index` left the list: its record goes
	// with it and the records after it follow their destinations up by one.
	void RemoveDestination(uint64_t destination_index);

	bool IsBusy() const;
	bool IsDestinationBusy(uint64_t destination_index) const;

	DestinationStats GetStats(uint64_t destination_index) const;

	// Called once a second by the refresh: the bytes each output sent since
	// the last sample become its kbps. Another caller in the same second
	// (obs-websocket's ticker) leaves the figures as they are.
	void SampleThroughput();

	// The state changes since the last call, oldest first.
	std::vector<StateChange> TakeStateChanges();
};

// The rate between two readings of an output's byte counter, taken at two
// steady-clock times. The counter starts again from zero on each connection,
// so a reading below the earlier one counts from zero.
uint32_t ThroughputKbps(uint64_t earlier_bytes, uint64_t earlier_ns, uint64_t bytes, uint64_t ns);

// The size the video encoder is given for a host output and a chosen height;
// 0 x 0 keeps the host's output size.
EncodedSize ScaledOutputSize(uint32_t output_width, uint32_t output_height, int32_t height);

// How many host frames make one encoded frame for the chosen frame-rate limit.
uint32_t FrameRateDivisor(uint32_t fps_num, uint32_t fps_den, int32_t fps);

inline uint64_t SteadyNanoseconds(std::chrono::steady_clock::time_point time)
{
	return static_cast<uint64_t>(
		std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

// The display text of a run's state and last stop code (UTF-8).
const char *DestinationStateText(DestinationState state, int32_t last_code);

// Stores a run's state and journals it when it changed; with `only_if_live` a
// run that rests (Ready or Failed) keeps its state. Returns the state before.
DestinationState StoreState(DestinationRun &run, DestinationState state, bool only_if_live = false);

// Keeps OBS's words for the failure a run ends with in its record, and writes
// the failure to OBS's log by the destination's index, never its server, key or
// credentials. Called by the output's threads as well as the UI thread.
void RecordFailure(DestinationRun &run);

// Disconnects a run's handlers, then force-stops and releases its output and
// service.
void ReleaseOutput(DestinationRun &run);

// Signal handlers of a run's output; private data is the DestinationRun.
void OnOutputActive(void *data, calldata_t *params);
void OnOutputReconnecting(void *data, calldata_t *params);
void OnOutputStopped(void *data, calldata_t *params);

// Connects the four handlers to the signals of a run's output, with the run as
// their private data; the run's destruction disconnects them.
void ConnectRunHandlers(DestinationRun &run);

} // namespace torvane
