// A server that stops reading, one that drops and comes back, and Stop all
// and the release while they do so: each costs only its own destination.
#include "tests/e2e/e2e.h"

#include "panel/live_status.h"

#include <obs.hpp>

#include <thread>

using namespace torvane;
using namespace torvane::test;
using Isolation = Session;

TEST_F(Isolation, AStalledOrLostServerCostsOnlyItsOwnDestination)
{
	Nginx steady, stalled, lost;
	ASSERT_TRUE(steady.StartRtmp(work_dir, "steady") && stalled.StartRtmp(work_dir, "stalled") &&
		    lost.StartRtmp(work_dir, "lost"));
	HostVideo canvas; // 60 fps on the host, 30 asked for: every second frame
	canvas.fps_num = 60;
	ASSERT_TRUE(StartHost(canvas));
	// The highest bitrate fills the stalled connection's socket buffers soonest.
	settings = Quality(720, 30, 8000);
	settings.destinations = {Loopback("Steady", steady.port), Loopback("Lost", lost.port),
				 Loopback("Stalled", stalled.port)};
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return AllSending(); }));

	// Lost: Reconnecting... on its own row only, then Sending once it is back.
	lost.Kill();
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Reconnecting..."; })) << Text(1);
	EXPECT_EQ(HeaderCountText(settings, engine), "2 / 3 sending");
	ASSERT_TRUE(lost.Restart());
	EXPECT_EQ(WatchTexts(
			  1, [&] { return Text(1) == "Sending"; }, std::chrono::seconds(20)),
		  (std::vector<std::string>{"Reconnecting...", "Sending"}));
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(2)));
	EXPECT_EQ(Text(0) + " / " + Text(1), "Sending / Sending");

	// Stalled: its drops show on its own line; the others are handed every frame.
	auto frames = [&](size_t i) {
		return obs_output_get_total_frames(engine.runs[i]->output);
	};
	const int steady_before = frames(0), lost_before = frames(1);
	const auto stall_start = std::chrono::steady_clock::now();
	stalled.Freeze();
	ASSERT_TRUE(WaitFor([&] { return engine.GetStats(2).frames_dropped > 0; }, std::chrono::seconds(25)));
	const DestinationStats stalled_stats = engine.GetStats(2);
	EXPECT_EQ(DestinationStatusLine(settings.destinations[2], stalled_stats).text,
		  "Sending · " + std::to_string(stalled_stats.frames_dropped) + " dropped");
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stall_start).count();
	EXPECT_GE(frames(0) - steady_before, seconds * 30 * 0.5 / TimeScale());
	EXPECT_NEAR(frames(0) - steady_before, frames(1) - lost_before, 3 * TimeScale());
	EXPECT_EQ(engine.GetStats(0).frames_dropped + engine.GetStats(1).frames_dropped, 0);

	// Stop all while one server is frozen and another is gone: every row
	// ends on Ready.
	lost.Kill();
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Reconnecting..."; })) << Text(1);
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	EXPECT_EQ(Text(0) + " / " + Text(1) + " / " + Text(2), "Ready / Ready / Ready");

	// The engine held the only references, and nothing reconnects afterwards.
	OBSWeakOutputAutoRelease output = obs_output_get_weak_output(engine.runs[1]->output);
	OBSWeakServiceAutoRelease service = obs_service_get_weak_service(engine.runs[1]->service);
	OBSWeakEncoderAutoRelease video = obs_encoder_get_weak_encoder(engine.video_encoder);
	OBSWeakEncoderAutoRelease audio = obs_encoder_get_weak_encoder(engine.audio_encoder);
	engine.StopAndRelease();
	OBSOutputAutoRelease output_left = obs_weak_output_get_output(output);
	OBSServiceAutoRelease service_left = obs_weak_service_get_service(service);
	OBSEncoderAutoRelease video_left = obs_weak_encoder_get_encoder(video);
	OBSEncoderAutoRelease audio_left = obs_weak_encoder_get_encoder(audio);
	EXPECT_TRUE(!output_left && !service_left && !video_left && !audio_left);
	const size_t recorded = lost.Recordings().size();
	ASSERT_TRUE(lost.Restart());
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(4)));
	lost.Stop();
	EXPECT_EQ(lost.Recordings().size(), recorded);

	steady.Stop();
	ASSERT_EQ(steady.Recordings().size(), 1u);
	Recording rec = ProbeRecording(steady.Recordings()[0]);
	EXPECT_NEAR(rec.frame_rate, 30, 0.9);
	EXPECT_LT(rec.longest_gap, 0.25) << "frames are missing at the server";
}
