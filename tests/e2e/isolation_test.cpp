// A server that stops reading must cost only its own destination: the others
// keep every frame, the stalled one counts what it drops, and "Stop all" still
// ends them all.
#include "tests/e2e/support.h"

#include "panel/live_status.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <thread>

namespace {

using namespace e2e;
using torvane::engine;

TEST(Isolation, StalledServerCostsOnlyItsOwnDestination)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer first, second, stalled;
	ASSERT_TRUE(first.Start(session.work_dir, "first"));
	ASSERT_TRUE(second.Start(session.work_dir, "second"));
	ASSERT_TRUE(stalled.Start(session.work_dir, "stalled"));
	torvane::PanelSettings settings = TestSettings({LocalDestination("First", first.port, "k0"),
							LocalDestination("Second", second.port, "k1"),
							LocalDestination("Stalled", stalled.port, "k2")});
	// The highest bitrate fills the stalled connection's socket buffers
	// soonest.
	settings.bitrate = 8000;
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([] { return AllSending(3); }, std::chrono::seconds(10)));
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(1)));

	int frames_before[2] = {obs_output_get_total_frames(engine.runs[0]->output),
				obs_output_get_total_frames(engine.runs[1]->output)};
	auto window_start = std::chrono::steady_clock::now();
	stalled.Freeze();
	bool dropping = WaitFor([] { return engine.GetStats(2).frames_dropped > 0; }, std::chrono::seconds(25));
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(2)));
	double window = std::chrono::duration<double>(std::chrono::steady_clock::now() - window_start).count();
	ASSERT_TRUE(dropping) << "the stalled destination never dropped a frame";

	torvane::DestinationStats stalled_stats = engine.GetStats(2);
	EXPECT_EQ(torvane::DestinationStatusLine(settings.destinations[2], stalled_stats).text,
		  "Sending · " + std::to_string(stalled_stats.frames_dropped) + " dropped");
	int frames[2];
	for (int i = 0; i < 2; i++) {
		SCOPED_TRACE(settings.destinations[i].name);
		EXPECT_EQ(engine.GetStats(i).frames_dropped, 0);
		EXPECT_EQ(torvane::DestinationStatusLine(settings.destinations[i], engine.GetStats(i)).text, "Sending");
		frames[i] = obs_output_get_total_frames(engine.runs[i]->output) - frames_before[i];
		// Seconds are a loose measure on a busy machine, where the
		// renderer itself may skip frames; the comparison below is exact.
		EXPECT_GE(frames[i], window * 30.0 * 0.5 / TimeScale());
	}
	// Both healthy destinations were handed every encoded frame.
	EXPECT_NEAR(frames[0], frames[1], 2);

	// Stop all while the server is still frozen.
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(StateText(i), "Ready") << settings.destinations[i].name;
	engine.StopAndRelease();
	stalled.Thaw();

	for (RtmpServer *server : {&first, &second}) {
		server->Stop();
		std::vector<std::string> files = server->Recordings();
		ASSERT_EQ(files.size(), 1u);
		Recording rec;
		ASSERT_TRUE(ProbeRecording(files[0], rec, error)) << error;
		SCOPED_TRACE(rec.path);
		EXPECT_NEAR(rec.frame_rate, 30.0, 0.9);
		EXPECT_LT(rec.longest_gap, 0.25) << "frames are missing at the server";
	}
}

} // namespace
