// Output signals moving run records, and stopping, on real libobs outputs. The
// signals come from other threads, as the outputs' own threads raise them.
#include "engine/engine.h"
#include "tests/engine/streams.h"

#include <atomic>
#include <optional>
#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr int32_t untouched_code = 11;

// A record on an output that is never started, wired like StartAll wires its own.
struct ProbeRun {
	DestinationRun *run = new DestinationRun();

	ProbeRun()
	{
		run->output = obs_output_create("rtmp_output", "Torvane signal probe", nullptr, nullptr);
		ConnectRunHandlers(run);
	}
	~ProbeRun() { ReleaseRun(run); }
	ProbeRun(const ProbeRun &) = delete;
	ProbeRun &operator=(const ProbeRun &) = delete;
};

void RecordReconnectDelay(void *data, calldata_t *params)
{
	static_cast<std::atomic<long long> *>(data)->store(calldata_int(params, "timeout_sec"));
}

} // namespace

using RunSignals = ObsHostTest;

TEST_F(RunSignals, MoveTheStateWhateverItWasUnlessAStopWasRequested)
{
	struct Case {
		DestinationState from;
		bool stop_requested;
		const char *signal;
		std::optional<long long> code;
		DestinationState to;
		int32_t last_code;
	};
	const Case cases[] = {
		{DestinationState::Connecting, false, "start", {}, DestinationState::Sending, untouched_code},
		{DestinationState::Failed, false, "start", {}, DestinationState::Sending, untouched_code},
		{DestinationState::Sending, false, "reconnect", {}, DestinationState::Reconnecting, untouched_code},
		{DestinationState::Reconnecting,
		 false,
		 "reconnect_success",
		 {},
		 DestinationState::Sending,
		 untouched_code},
		{DestinationState::Sending, false, "stop", 0, DestinationState::Ready, 0},
		{DestinationState::Sending, false, "stop", {}, DestinationState::Ready, 0},
		{DestinationState::Connecting, false, "stop", OBS_OUTPUT_INVALID_STREAM, DestinationState::Failed,
		 OBS_OUTPUT_INVALID_STREAM},
		{DestinationState::Reconnecting, false, "stop", OBS_OUTPUT_DISCONNECTED, DestinationState::Failed,
		 OBS_OUTPUT_DISCONNECTED},
		{DestinationState::Sending, false, "stop", -9, DestinationState::Failed, -9},
		// Codes wider than 32 bits are narrowed, not clamped.
		{DestinationState::Sending, false, "stop", 0x100000002ll, DestinationState::Failed, 2},
		{DestinationState::Stopping, true, "start", {}, DestinationState::Stopping, untouched_code},
		{DestinationState::Stopping, true, "reconnect", {}, DestinationState::Stopping, untouched_code},
		{DestinationState::Stopping, true, "reconnect_success", {}, DestinationState::Stopping, untouched_code},
		{DestinationState::Stopping, true, "stop", OBS_OUTPUT_INVALID_STREAM, DestinationState::Ready,
		 OBS_OUTPUT_INVALID_STREAM},
		{DestinationState::Failed, true, "stop", OBS_OUTPUT_DISCONNECTED, DestinationState::Ready,
		 OBS_OUTPUT_DISCONNECTED},
		// Signals the engine does not follow change nothing.
		{DestinationState::Sending, false, "deactivate", {}, DestinationState::Sending, untouched_code},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << c.signal << " in " << DestinationStateText(uint32_t(c.from), 0)
						<< (c.stop_requested ? " after a stop request" : ""));
		ProbeRun probe;
		ASSERT_NE(probe.run->output, nullptr);
		probe.run->state.store(uint32_t(c.from));
		probe.run->last_code.store(untouched_code);
		probe.run->stop_requested.store(c.stop_requested);

		if (c.code)
			EmitFromOtherThread(probe.run->output, c.signal, *c.code);
		else
			EmitFromOtherThread(probe.run->output, c.signal);

		EXPECT_EQ(probe.run->state.load(), uint32_t(c.to));
		EXPECT_EQ(probe.run->last_code.load(), c.last_code);
	}
}

TEST_F(RunSignals, StartAllConnectsAllFourSignalsOfEachOutput)
{
	const int port = ClosedLoopbackPort();
	const PanelSettings settings = Pair(port);
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	ASSERT_TRUE(WaitForState(multistream, 1, DestinationState::Failed));

	obs_output_t *output = multistream.runs[1]->output;
	struct Step {
		const char *signal;
		std::optional<long long> code;
		const char *text;
	};
	const Step steps[] = {
		{"start", {}, "Sending"},
		{"reconnect", {}, "Reconnecting..."},
		{"reconnect_success", {}, "Sending"},
		{"stop", OBS_OUTPUT_BAD_PATH, "Failed: server URL"},
		{"reconnect_success", {}, "Sending"},
		{"stop", 0, "Ready"},
	};
	for (const Step &step : steps) {
		SCOPED_TRACE(step.signal);
		if (step.code)
			EmitFromOtherThread(output, step.signal, *step.code);
		else
			EmitFromOtherThread(output, step.signal);
		EXPECT_STREQ(TextOf(multistream, 1), step.text);
		// Each record hears only its own output.
		EXPECT_STREQ(TextOf(multistream, 0), "Failed: connection");
	}
}

TEST_F(RunSignals, ADroppedConnectionReconnectsEveryTwoSecondsUntilStopAll)
{
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(Single(ClosedLoopbackPort()), error)) << error;
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	obs_output_t *output = multistream.runs[0]->output;

	std::atomic<long long> delay{-1};
	signal_handler_t *signals = obs_output_get_signal_handler(output);
	signal_handler_connect(signals, "reconnect", RecordReconnectDelay, &delay);

	// What the output's send thread reports when the server goes away; libobs
	// then retries with the output's reconnect settings.
	std::thread([output] { obs_output_signal_stop(output, OBS_OUTPUT_DISCONNECTED); }).join();
	EXPECT_EQ(delay.load(), 2);
	EXPECT_STREQ(TextOf(multistream, 0), "Reconnecting...");
	EXPECT_TRUE(multistream.IsBusy());

	// Even a record that shows a failure is busy while its output still retries.
	EmitFromOtherThread(output, "stop", OBS_OUTPUT_CONNECT_FAILED);
	EXPECT_STREQ(TextOf(multistream, 0), "Failed: connection");
	EXPECT_TRUE(multistream.IsBusy());
	EXPECT_FALSE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	EXPECT_EQ(error, "A stream is still running or stopping.");

	multistream.RequestStopAll();
	EXPECT_TRUE(multistream.runs[0]->stop_requested.load());
	EXPECT_TRUE(WaitForState(multistream, 0, DestinationState::Ready));
	EXPECT_TRUE(WaitFor([&] { return !multistream.IsBusy(); }));
	signal_handler_disconnect(signals, "reconnect", RecordReconnectDelay, &delay);
}

using EngineStop = ObsHostTest;

TEST_F(EngineStop, StopAllSettlesLiveRunsOnReadyAndKeepsFailuresAndRecords)
{
	const int port = ClosedLoopbackPort();
	PanelSettings settings = Quality(1080, 30);
	settings.destinations = {Loopback("one", port), Loopback("two", port), Loopback("three", port)};
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
	for (uint64_t i = 0; i < 3; i++)
		ASSERT_TRUE(WaitForState(multistream, i, DestinationState::Failed));
	EmitFromOtherThread(multistream.runs[0]->output, "start");
	EmitFromOtherThread(multistream.runs[1]->output, "start");
	ASSERT_TRUE(multistream.IsBusy());
	obs_encoder_t *video = multistream.video_encoder;

	multistream.RequestStopAll();
	for (const auto &run : multistream.runs)
		EXPECT_TRUE(run->stop_requested.load());
	EXPECT_TRUE(WaitForState(multistream, 0, DestinationState::Ready));
	EXPECT_TRUE(WaitForState(multistream, 1, DestinationState::Ready));
	EXPECT_STREQ(TextOf(multistream, 2), "Failed: connection");
	EXPECT_FALSE(multistream.IsBusy());

	// Late signals of stopped outputs no longer move them.
	EmitFromOtherThread(multistream.runs[0]->output, "reconnect");
	EmitFromOtherThread(multistream.runs[1]->output, "start");
	EmitFromOtherThread(multistream.runs[1]->output, "stop", OBS_OUTPUT_DISCONNECTED);
	EXPECT_STREQ(TextOf(multistream, 0), "Ready");
	EXPECT_STREQ(TextOf(multistream, 1), "Ready");

	ASSERT_EQ(multistream.runs.size(), 3u);
	EXPECT_EQ(multistream.video_encoder, video);
	EXPECT_NE(multistream.runs[0]->output, nullptr);
}

TEST_F(EngineStop, StopAndReleaseLeavesNothingASignalCouldReach)
{
	const int port = ClosedLoopbackPort();
	const PanelSettings settings = Pair(port);
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	ASSERT_TRUE(WaitForState(multistream, 1, DestinationState::Failed));
	for (const auto &run : multistream.runs)
		EmitFromOtherThread(run->output, "start");

	// Keep one output alive past its record, as a late output thread might.
	ObsOutput survivor(obs_output_get_ref(multistream.runs[0]->output));
	ObsWeakOutput released(obs_output_get_weak_output(multistream.runs[1]->output));
	ObsWeakEncoder encoder(obs_encoder_get_weak_encoder(multistream.video_encoder));

	multistream.StopAndRelease();
	EXPECT_TRUE(multistream.runs.empty());
	EXPECT_EQ(multistream.video_encoder, nullptr);
	EXPECT_EQ(multistream.audio_encoder, nullptr);
	EXPECT_FALSE(multistream.IsBusy());
	for (uint64_t i = 0; i < 2; i++) {
		const DestinationStats stats = multistream.GetStats(i);
		EXPECT_EQ(stats.state, 0u);
		EXPECT_EQ(stats.last_code, 0);
		EXPECT_EQ(stats.frames_dropped, 0);
	}
	ObsOutput gone(obs_weak_output_get_output(released.get()));
	EXPECT_EQ(gone.get(), nullptr);
	ObsEncoder gone_encoder(obs_weak_encoder_get_encoder(encoder.get()));
	EXPECT_EQ(gone_encoder.get(), nullptr);

	// The freed record's handlers are gone: a sanitizer run would catch any use.
	EmitFromOtherThread(survivor.get(), "start");
	EmitFromOtherThread(survivor.get(), "stop", OBS_OUTPUT_DISCONNECTED);

	multistream.StopAndRelease();
	EXPECT_TRUE(multistream.runs.empty());
}
