// One destination stopped and started again, added to a running stream or cut
// off from its server while the others stream: what each server records, and
// the figures the rows show meanwhile.
#include "tests/e2e/e2e.h"

#include <obs.hpp>

#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace {

class DestinationControl : public Session {
protected:
	Nginx servers[4];

	// A server and a destination for each of `count`, the fourth left off;
	// the others stream at 720p30 and 2500 kbps.
	void StartStreams(int count)
	{
		ASSERT_TRUE(StartHost(HostVideo()));
		settings = Quality(720, 30, 2500);
		for (int i = 0; i < count; i++) {
			ASSERT_TRUE(servers[i].StartRtmp(work_dir, "server-" + std::to_string(i + 1)));
			settings.destinations.push_back(Loopback("D" + std::to_string(i + 1), servers[i].port, i < 3));
		}
		std::string error;
		ASSERT_TRUE(engine.StartAll(settings, error)) << error;
		ASSERT_TRUE(WaitFor([&] { return AllSending(); }, std::chrono::seconds(15)));
	}
	int Frames(uint64_t index) const { return obs_output_get_total_frames(engine.runs[index]->output); }
	bool SendMore(uint64_t index, int frames)
	{
		const int until = Frames(index) + frames;
		return WaitFor([&] { return Frames(index) >= until; }, std::chrono::seconds(30));
	}
	void StopAll()
	{
		engine.RequestStopAll();
		EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }));
		for (Nginx &server : servers)
			server.Stop();
	}
};

// H.264 and AAC from a keyframe on.
void ExpectWholeStream(const std::string &file)
{
	SCOPED_TRACE(file);
	const Recording rec = ProbeRecording(file);
	EXPECT_EQ(rec.video_codec + " " + rec.audio_codec, "h264 aac");
	EXPECT_GE(rec.video_packets, 30u);
	ASSERT_FALSE(rec.keyframe_packets.empty());
	EXPECT_EQ(rec.keyframe_packets[0], 0u) << "the recording does not start on a keyframe";
}

} // namespace

TEST_F(DestinationControl, TheSecondOfThreeStopsAndStartsAgainWhileTheOthersRecordWithoutAGap)
{
	ASSERT_NO_FATAL_FAILURE(StartStreams(3));
	ASSERT_TRUE(SendMore(1, 90));
	ASSERT_TRUE(engine.StopDestination(1));
	EXPECT_TRUE(WaitFor([&] { return !engine.IsDestinationBusy(1); }));
	EXPECT_EQ(Text(0) + " / " + Text(1) + " / " + Text(2), "Sending / Ready / Sending");
	// Sampled two seconds apart: the sending ones show their rate over that
	// time, which a second caller at once (obs-websocket's ticker) leaves as it is.
	engine.SampleThroughput();
	std::this_thread::sleep_for(std::chrono::seconds(2));
	engine.SampleThroughput();
	engine.SampleThroughput();
	for (uint64_t i : {0, 1, 2})
		EXPECT_NEAR(engine.GetStats(i).kbps, i == 1 ? 0 : 2600, 1500) << i;

	std::string error;
	ASSERT_TRUE(engine.StartDestination(settings, 1, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return AllSending(); }, std::chrono::seconds(15))) << Text(1);
	ASSERT_TRUE(SendMore(1, 90));
	StopAll();
	for (int i : {0, 2}) {
		const std::vector<std::string> files = servers[i].Recordings();
		ASSERT_EQ(files.size(), 1u) << "server " << i + 1 << " saw its stream end";
		ExpectWholeStream(files[0]);
		EXPECT_LT(ProbeRecording(files[0]).longest_gap, 0.5) << "server " << i + 1;
	}
	const std::vector<std::string> files = servers[1].Recordings();
	ASSERT_EQ(files.size(), 2u);
	for (const std::string &file : files)
		ExpectWholeStream(file);
}

TEST_F(DestinationControl, AFourthJoinsOnAKeyframeAndCountsItsAttemptsWhileItsServerIsGone)
{
	ASSERT_NO_FATAL_FAILURE(StartStreams(4));
	ASSERT_TRUE(SendMore(0, 75)); // into the middle of a two-second group of pictures
	settings.destinations[3].enabled = true;
	std::string error;
	ASSERT_TRUE(engine.StartDestination(settings, 3, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Sending"; }, std::chrono::seconds(15))) << Text(3);
	ASSERT_TRUE(SendMore(3, 60));

	// Its server goes: each attempt counts, and the next one comes closer.
	servers[3].Kill();
	ASSERT_TRUE(WaitFor([&] { return engine.GetStats(3).reconnect_attempts == 1; })) << Text(3);
	DestinationStats first = engine.GetStats(3);
	EXPECT_EQ(first.reconnect_limit, 20);
	EXPECT_EQ(first.next_attempt_seconds, reconnect_delay_sec);
	int32_t next = first.next_attempt_seconds;
	ASSERT_TRUE(WaitFor(
		[&] {
			const DestinationStats stats = engine.GetStats(3);
			EXPECT_TRUE(stats.reconnect_attempts > 1 || stats.next_attempt_seconds <= next);
			next = stats.next_attempt_seconds;
			return stats.reconnect_attempts == 2;
		},
		std::chrono::seconds(20)));

	// Back: the count ends with the outage, and the next outage counts from 1.
	ASSERT_TRUE(servers[3].Restart());
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Sending"; }, std::chrono::seconds(20))) << Text(3);
	servers[3].Kill();
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Reconnecting..."; })) << Text(3);
	EXPECT_EQ(engine.GetStats(3).reconnect_attempts, 1);

	StopAll();
	const std::vector<std::string> files = servers[3].Recordings();
	ASSERT_GE(files.size(), 1u);
	ExpectWholeStream(files[0]);
}
