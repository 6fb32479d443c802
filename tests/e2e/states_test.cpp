// What each destination shows while real servers refuse, vanish and return,
// and what the engine holds afterwards.
#include "tests/e2e/support.h"

#include "panel/live_status.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <algorithm>
#include <thread>

namespace {

using namespace e2e;
using torvane::DestinationState;
using torvane::engine;

constexpr DestinationState Failed = DestinationState::Failed;

bool Contains(const std::vector<std::string> &texts, const std::string &text)
{
	return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// A closed port and an unknown application fail with their own texts while a
// good destination sends; a second start is refused without touching the run;
// "Stop all" ends the good one on Ready and leaves the failures as they were.
TEST(States, FailuresSecondStartAndStopAll)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer good, other_app;
	ASSERT_TRUE(good.Start(session.work_dir, "good"));
	ASSERT_TRUE(other_app.Start(session.work_dir, "other-app", "live"));
	uint16_t closed = FreePort();
	torvane::PanelSettings settings =
		TestSettings({LocalDestination("Good", good.port, "k0"), LocalDestination("Closed port", closed, "k1"),
			      LocalDestination("Unknown app", other_app.port, "k2")});

	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor(
		[] {
			return engine.GetStats(0).state == DestinationState::Sending &&
			       engine.GetStats(1).state == Failed && engine.GetStats(2).state == Failed;
		},
		std::chrono::seconds(15)))
		<< StateText(0) << " / " << StateText(1) << " / " << StateText(2);
	EXPECT_EQ(engine.GetStats(1).last_code, OBS_OUTPUT_CONNECT_FAILED);
	EXPECT_EQ(StateText(1), "Failed: connection");
	EXPECT_EQ(engine.GetStats(2).last_code, OBS_OUTPUT_INVALID_STREAM);
	EXPECT_EQ(StateText(2), "Failed: stream key");
	torvane::StatusLine failed_line = torvane::DestinationStatusLine(settings.destinations[1], engine.GetStats(1));
	EXPECT_EQ(failed_line.text, "Failed: connection");
	EXPECT_EQ(failed_line.color, 0x9B9BFFu);
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), "1 / 3 sending");

	// A second start while sending: refused, and the run is the same run.
	std::vector<torvane::DestinationRun *> runs_before;
	for (const auto &run : engine.runs)
		runs_before.push_back(run.get());
	obs_encoder_t *video_before = engine.video_encoder;
	obs_output_t *output_before = engine.runs[0]->output;
	EXPECT_FALSE(engine.StartAll(settings, error));
	EXPECT_EQ(error, "A stream is still running or stopping.");
	ASSERT_EQ(engine.runs.size(), runs_before.size());
	for (size_t i = 0; i < runs_before.size(); i++)
		EXPECT_EQ(engine.runs[i].get(), runs_before[i]);
	EXPECT_EQ(engine.video_encoder, video_before);
	EXPECT_EQ(engine.runs[0]->output, output_before);
	EXPECT_TRUE(obs_output_active(output_before));
	std::this_thread::sleep_for(std::chrono::milliseconds(500));
	EXPECT_EQ(StateText(0), "Sending");

	engine.RequestStopAll();
	std::vector<std::string> seen = WatchTexts(
		0, [] { return !engine.IsBusy(); }, std::chrono::seconds(10));
	EXPECT_EQ(seen.back(), "Ready");
	EXPECT_FALSE(Contains(seen, "Failed: check settings"));
	EXPECT_EQ(StateText(1), "Failed: connection");
	EXPECT_EQ(StateText(2), "Failed: stream key");
	EXPECT_FALSE(engine.IsBusy());
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), "3 enabled  ·  Ready");
}

// A server killed mid-stream shows Reconnecting... on its destination only;
// once the server is back the destination sends again.
TEST(States, ServerLostAndBack)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer lost, steady;
	ASSERT_TRUE(lost.Start(session.work_dir, "lost"));
	ASSERT_TRUE(steady.Start(session.work_dir, "steady"));
	torvane::PanelSettings settings = TestSettings(
		{LocalDestination("Lost", lost.port, "k0"), LocalDestination("Steady", steady.port, "k1")});
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([] { return AllSending(2); }, std::chrono::seconds(10)));
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(1)));

	lost.Kill();
	ASSERT_TRUE(WaitFor([] { return StateText(0) == "Reconnecting..."; }, std::chrono::seconds(10)))
		<< StateText(0);
	EXPECT_EQ(StateText(1), "Sending");
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), "1 / 2 sending");
	EXPECT_TRUE(engine.IsBusy());

	ASSERT_TRUE(lost.Restart());
	std::vector<std::string> seen = WatchTexts(
		0, [] { return StateText(0) == "Sending"; }, std::chrono::seconds(20));
	EXPECT_EQ(seen.back(), "Sending") << testing::PrintToString(seen);
	for (const std::string &text : seen)
		EXPECT_TRUE(text == "Reconnecting..." || text == "Sending") << text;
	EXPECT_EQ(StateText(1), "Sending");
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(2)));

	engine.RequestStopAll();
	ASSERT_TRUE(WaitFor([] { return !engine.IsBusy(); }, std::chrono::seconds(10)));
	EXPECT_EQ(StateText(0), "Ready");
	EXPECT_EQ(StateText(1), "Ready");
	engine.StopAndRelease();
	lost.Stop();
	// The stream after the return was recorded as a stream of its own.
	EXPECT_EQ(lost.Recordings().size(), 2u);
}

// With its retries used up a destination whose server is gone ends as
// Disconnected, and nothing is busy any more.
TEST(States, RetriesUsedUpShowDisconnected)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer server;
	ASSERT_TRUE(server.Start(session.work_dir, "server"));
	torvane::PanelSettings settings = TestSettings({LocalDestination("Gone", server.port, "k0")});
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([] { return AllSending(1); }, std::chrono::seconds(10)));
	// Twenty retries two seconds apart would take minutes; one retry after
	// one second reaches the same end.
	obs_output_set_reconnect_settings(engine.runs[0]->output, 1, 1);

	server.Kill();
	std::vector<std::string> seen = WatchTexts(
		0, [] { return engine.GetStats(0).state == Failed; }, std::chrono::seconds(30));
	EXPECT_TRUE(Contains(seen, "Reconnecting...")) << testing::PrintToString(seen);
	EXPECT_EQ(seen.back(), "Disconnected");
	EXPECT_EQ(engine.GetStats(0).last_code, OBS_OUTPUT_DISCONNECTED);
	EXPECT_TRUE(WaitFor([] { return !engine.IsBusy(); }, std::chrono::seconds(5)));
}

// Releasing everything while a destination reconnects leaves no run, no
// encoder and no output behind, and nothing reconnects later.
TEST(States, StopAndReleaseWhileReconnecting)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer server;
	ASSERT_TRUE(server.Start(session.work_dir, "server"));
	torvane::PanelSettings settings = TestSettings({LocalDestination("Flaky", server.port, "k0")});
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([] { return AllSending(1); }, std::chrono::seconds(10)));
	server.Kill();
	ASSERT_TRUE(WaitFor([] { return StateText(0) == "Reconnecting..."; }, std::chrono::seconds(10)));

	OBSWeakOutputAutoRelease output = obs_output_get_weak_output(engine.runs[0]->output);
	OBSWeakServiceAutoRelease service = obs_service_get_weak_service(engine.runs[0]->service);
	OBSWeakEncoderAutoRelease video = obs_encoder_get_weak_encoder(engine.video_encoder);
	OBSWeakEncoderAutoRelease audio = obs_encoder_get_weak_encoder(engine.audio_encoder);
	engine.StopAndRelease();
	EXPECT_TRUE(engine.runs.empty());
	EXPECT_EQ(engine.video_encoder, nullptr);
	EXPECT_EQ(engine.audio_encoder, nullptr);
	EXPECT_FALSE(engine.IsBusy());
	EXPECT_EQ(StateText(0), "Ready");

	// The engine held the only references: everything is destroyed.
	OBSOutputAutoRelease output_left = obs_weak_output_get_output(output);
	OBSServiceAutoRelease service_left = obs_weak_service_get_service(service);
	OBSEncoderAutoRelease video_left = obs_weak_encoder_get_encoder(video);
	OBSEncoderAutoRelease audio_left = obs_weak_encoder_get_encoder(audio);
	EXPECT_EQ(output_left.Get(), nullptr);
	EXPECT_EQ(service_left.Get(), nullptr);
	EXPECT_EQ(video_left.Get(), nullptr);
	EXPECT_EQ(audio_left.Get(), nullptr);

	// The server returns; no retry comes back to it.
	size_t recorded = server.Recordings().size();
	ASSERT_TRUE(server.Restart());
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(4)));
	server.Stop();
	EXPECT_EQ(server.Recordings().size(), recorded);
	EXPECT_EQ(StateText(0), "Ready");
}

// When no output can start, the start says so and keeps every run on show as
// failed, without blocking the next start, which releases them and streams.
TEST(States, NothingStartsThenTheNextStartReleasesTheFailures)
{
	// x264 takes no high-precision host picture: every output fails to
	// start after the encoders were made.
	torvane::HostVideo p010;
	p010.format = VIDEO_FORMAT_P010;
	HostSession session;
	ASSERT_TRUE(session.Start(p010));
	RtmpServer first, second;
	ASSERT_TRUE(first.Start(session.work_dir, "first"));
	ASSERT_TRUE(second.Start(session.work_dir, "second"));
	torvane::PanelSettings settings = TestSettings(
		{LocalDestination("First", first.port, "k0"), LocalDestination("Second", second.port, "k1")});

	std::string error;
	EXPECT_FALSE(engine.StartAll(settings, error));
	EXPECT_EQ(error, "No destination could start. Check OBS video/audio settings and the destination status.");
	ASSERT_EQ(engine.runs.size(), 2u);
	for (uint64_t i = 0; i < 2; i++) {
		EXPECT_EQ(engine.GetStats(i).last_code, OBS_OUTPUT_ERROR);
		EXPECT_EQ(StateText(i), "Failed: check settings");
	}
	EXPECT_FALSE(engine.IsBusy());
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), "2 enabled  ·  Ready");
	OBSWeakOutputAutoRelease failed_output = obs_output_get_weak_output(engine.runs[0]->output);

	// The user fixes the host's format; the next start goes through.
	torvane::HostVideo nv12;
	ASSERT_TRUE(torvane::ResetHostVideo(nv12, error)) << error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_EQ(engine.runs.size(), 2u);
	// Fresh records: no stop code yet, where the failed ones held the start's.
	for (uint64_t i = 0; i < 2; i++)
		EXPECT_EQ(engine.GetStats(i).last_code, 0) << StateText(i);
	OBSOutputAutoRelease old_output = obs_weak_output_get_output(failed_output);
	EXPECT_EQ(old_output.Get(), nullptr) << "the failed run's output was not released";
	EXPECT_TRUE(WaitFor([] { return AllSending(2); }, std::chrono::seconds(10)))
		<< StateText(0) << " / " << StateText(1);
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([] { return !engine.IsBusy(); }, std::chrono::seconds(10)));
}

} // namespace
