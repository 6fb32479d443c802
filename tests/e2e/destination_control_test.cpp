// Starting and stopping one destination while the others go on: what a single
// start refuses, how it joins a running encode and what it replaces and
// journals; against real servers, what each one records and the figures the
// rows show meanwhile.
#include "tests/e2e/e2e.h"

#include "settings/texts.h"
#include "settings/validation.h"

#include <optional>
#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace {

class DestinationControl : public Session {
protected:
	Nginx servers[4];

	void SetUp() override { ASSERT_TRUE(StartHost(HostVideo())); }

	// OBS's connect thread reports a failure and only then detaches itself, and
	// releasing an output joins that thread while it connects: an output
	// released in between is joined and detached at once, which ThreadSanitizer
	// stops on. So no output is released before its attempt is over, and not at once.
	bool Settled(uint64_t index)
	{
		const bool failed = WaitFor([&] { return engine.GetStats(index).state == DestinationState::Failed; });
		std::this_thread::sleep_for(std::chrono::milliseconds(100));
		return failed;
	}

	// A server and a destination for each of `count`, the fourth left off;
	// the second at its own quality when given one.
	void StartStreams(int count, std::optional<OwnQuality> second = std::nullopt)
	{
		settings = SharedAt(720, 30, 2500);
		for (int i = 0; i < count; i++) {
			ASSERT_TRUE(servers[i].StartRtmp(work_dir, "server-" + std::to_string(i + 1)));
			settings.destinations.push_back(Loopback("D" + std::to_string(i + 1), servers[i].port, i < 3));
		}
		settings.destinations[1].quality = second;
		std::string error;
		ASSERT_TRUE(engine.StartAll(settings, error)) << error;
		ASSERT_TRUE(WaitFor([&] { return AllSending(); }, std::chrono::seconds(15)));
	}
	bool SendMore(uint64_t index, int frames)
	{
		const int until = Frames(index) + frames;
		return WaitFor([&] { return Frames(index) >= until; }, std::chrono::seconds(30));
	}
	static int VideoEncoders()
	{
		int count = 0;
		obs_enum_encoders(
			[](void *data, obs_encoder_t *encoder) {
				*static_cast<int *>(data) +=
					std::string(obs_encoder_get_name(encoder)).rfind("Torvane H264", 0) == 0;
				return true;
			},
			&count);
		return count;
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
	EXPECT_EQ(rec.video.substr(0, 5) + rec.audio.substr(0, 4), "h264,aac,");
	EXPECT_GE(rec.video_packets, 30u);
	ASSERT_FALSE(rec.keyframe_packets.empty());
	EXPECT_EQ(rec.keyframe_packets[0], 0u) << "the recording does not start on a keyframe";
}

} // namespace

TEST_F(DestinationControl, RefusesWhatAStartWouldAndADestinationThatIsBusy)
{
	const int port = FreePort();
	settings = SharedAt(720, 30);
	settings.destinations = {Loopback("one", port), Loopback("two", port), Loopback("same", port),
				 Loopback("off", port, false)};
	settings.destinations[2].key = settings.destinations[0].key;
	settings.destinations[1].key.clear();
	std::string error;
	EXPECT_FALSE(engine.StartDestination(settings, 4, error));
	EXPECT_EQ(error, "Destination 5 is not in the list.");
	// Numbered by list position, although the first one is not started.
	EXPECT_FALSE(engine.StartDestination(settings, 1, error));
	EXPECT_EQ(error, "Destination 2: enter a stream key.");
	EXPECT_TRUE(engine.runs.empty());

	ASSERT_TRUE(engine.StartDestination(settings, 0, error)) << error;
	ASSERT_TRUE(Settled(0));
	Emit(engine.runs[0]->output, "start");
	obs_output_t *first = engine.runs[0]->output;
	error.clear();
	EXPECT_FALSE(engine.StartDestination(settings, 0, error));
	EXPECT_FALSE(error.empty());
	EXPECT_FALSE(engine.StartDestination(settings, 2, error));
	EXPECT_EQ(error, "Destination 3: this server and key are already enabled in another destination.");
	// Unticked; then Kick, ticked during a run whose encode was made without its settings.
	EXPECT_FALSE(engine.StartDestination(settings, 3, error));
	settings.destinations[3].platform = "Kick";
	settings.destinations[3].enabled = true;
	EXPECT_FALSE(engine.StartDestination(settings, 3, error));
	EXPECT_EQ(error, "Kick needs its own encoder settings. Stop every destination, then start again.");
	settings.bitrate = 9000;
	settings.destinations[1].key = "key-two";
	EXPECT_FALSE(engine.StartDestination(settings, 1, error));
	EXPECT_EQ(error, ValidateQuality(settings));
	ASSERT_EQ(engine.runs.size(), 1u);
	EXPECT_EQ(engine.runs[0]->output, first);
	EXPECT_EQ(engine.GetStats(0).state, DestinationState::Sending);
	EXPECT_FALSE(engine.StopDestination(1));
	EXPECT_FALSE(engine.runs[0]->stop_requested);

	// Sharing OBS's stream while it is not live, or with Enhanced Broadcasting: the row says why.
	settings.bitrate = 4500;
	settings.destinations[1].quality = OwnQuality{0, 0, 0, "", true};
	for (const ObsStreamEncoders &obs : {ObsStreamEncoders{}, ObsStreamEncoders{nullptr, nullptr, true, true}}) {
		EXPECT_FALSE(engine.StartDestination(settings, 1, error, obs));
		EXPECT_EQ(error, Tr(obs.multitrack ? Txt::ObsStreamMultitrack : Txt::ObsStreamNotLive));
		EXPECT_TRUE(engine.GetStats(1).state == DestinationState::Failed &&
			    engine.GetStats(1).last_error == error);
	}
}

// Nothing runs: a single start makes new encoders and releases the outputs of
// the last run, whose failures stay on show. Every state change is journaled in
// order and follows its destination up the list.
TEST_F(DestinationControl, AStartAfterARunBeginsAfreshAndEveryChangeIsJournaled)
{
	const int port = FreePort();
	settings = Pair(port);
	settings.destinations.push_back(Loopback("three", port));
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(Settled(0) && Settled(1) && Settled(2));
	OBSWeakEncoderAutoRelease old_encoder = obs_encoder_get_weak_encoder(engine.VideoEncoderOf(0));
	OBSWeakOutputAutoRelease old_output = obs_output_get_weak_output(engine.runs[0]->output);
	ASSERT_TRUE(engine.StartDestination(settings, 2, error)) << error; // a retry that fails again
	ASSERT_EQ(engine.runs.size(), 3u);
	EXPECT_EQ(OBSEncoderAutoRelease(obs_weak_encoder_get_encoder(old_encoder)).Get(), nullptr);
	EXPECT_EQ(OBSOutputAutoRelease(obs_weak_output_get_output(old_output)).Get(), nullptr);
	EXPECT_EQ(Text(0) + " / " + Text(1), "Failed: connection / Failed: connection");
	ASSERT_TRUE(Settled(2));

	for (const char *signal : {"start", "reconnect", "reconnect_success"})
		Emit(engine.runs[2]->output, signal);
	ASSERT_TRUE(engine.StopDestination(2));
	ASSERT_TRUE(WaitFor([&] { return Text(2) == "Ready"; }));

	// Still reported once the records are gone, under the destination's new position.
	engine.StopAndRelease();
	engine.RemoveDestination(0);
	std::string changes;
	uint64_t sequence = 0;
	for (const StateChange &change : engine.TakeStateChanges()) {
		EXPECT_LT(change.destination_index, 2u);
		if (change.destination_index == 1)
			changes += DestinationStateText(change.state, change.last_code) + std::string(", ");
		EXPECT_GT(change.sequence, sequence); // in the order they were stored
		sequence = change.sequence;
	}
	EXPECT_EQ(changes, "Connecting..., Failed: connection, Connecting..., Failed: connection, Sending, "
			   "Reconnecting..., Sending, Stopping..., Ready, ");
	EXPECT_TRUE(engine.TakeStateChanges().empty());
}

// Two qualities on a 60 fps host: the second one's only destination stops,
// gives its encoder back and starts it alone again, while the first quality's
// two destinations go on.
TEST_F(DestinationControl, TheSecondQualityStopsAndStartsAgainWhileTheFirstRecordsWithoutAGap)
{
	HostVideo canvas;
	canvas.fps_num = 60;
	ResetHostVideo(canvas);
	ASSERT_NO_FATAL_FAILURE(StartStreams(3, OwnQuality{720, 60, 4000, ""}));
	EXPECT_EQ(VideoEncoders(), 2);
	obs_encoder_t *first = engine.VideoEncoderOf(0);
	EXPECT_EQ(engine.VideoEncoderOf(2), first);
	ASSERT_TRUE(SendMore(1, 180));
	ASSERT_TRUE(engine.StopDestination(1));
	EXPECT_TRUE(WaitFor([&] { return !engine.IsDestinationBusy(1); }));
	EXPECT_EQ(Texts(), "Sending / Ready / Sending");
	engine.ReleaseIdleGroups();
	EXPECT_TRUE(WaitFor([&] { return VideoEncoders() == 1; }));
	// Sampled two seconds apart: the sending ones show what their outputs sent
	// over that time (a busy machine's encoder may catch up faster than real
	// time), which a second caller at once (obs-websocket's ticker) leaves as it is.
	const auto sent = [&](uint64_t i) {
		obs_output_t *output = engine.runs[i]->output;
		return output ? obs_output_get_total_bytes(output) : 0;
	};
	engine.SampleThroughput();
	const uint64_t before[] = {sent(0), sent(1), sent(2)};
	std::this_thread::sleep_for(std::chrono::seconds(2));
	const uint64_t after[] = {sent(0), sent(1), sent(2)};
	engine.SampleThroughput();
	engine.SampleThroughput();
	for (uint64_t i : {0, 1, 2}) {
		const double kbps = double(after[i] - before[i]) * 8 / 1000 / 2;
		EXPECT_EQ(engine.GetStats(i).kbps > 0, i != 1) << i;
		EXPECT_NEAR(engine.GetStats(i).kbps, kbps, kbps / 5 + 50) << i;
	}

	// It takes its own record's place, on an encoder of its own again.
	std::string error;
	ASSERT_TRUE(engine.StartDestination(settings, 1, error)) << error;
	ASSERT_EQ(engine.runs.size(), 3u);
	EXPECT_EQ(engine.runs[1]->destination_index, 1u);
	EXPECT_EQ(engine.VideoEncoderOf(0), first);
	EXPECT_NE(engine.VideoEncoderOf(1), first);
	EXPECT_EQ(VideoEncoders(), 2);
	ASSERT_TRUE(WaitFor([&] { return AllSending(); }, std::chrono::seconds(15))) << Text(1);
	ASSERT_TRUE(SendMore(1, 180));
	StopAll();
	for (int i : {0, 1, 2}) {
		const std::vector<std::string> files = servers[i].Recordings();
		ASSERT_EQ(files.size(), i == 1 ? 2u : 1u) << "server " << i + 1;
		for (const std::string &file : files) {
			ExpectWholeStream(file);
			const Recording rec = ProbeRecording(file);
			EXPECT_NEAR(rec.frame_rate, i == 1 ? 60 : 30, 1) << file;
			EXPECT_NEAR(rec.video_kbps, i == 1 ? 4000 : 2500, i == 1 ? 600 : 375) << file;
			EXPECT_TRUE(i == 1 || rec.longest_gap < 0.5) << file << " has a gap of " << rec.longest_gap;
		}
	}
}

TEST_F(DestinationControl, AFourthJoinsOnAKeyframeAndCountsItsAttemptsWhileItsServerIsGone)
{
	ASSERT_NO_FATAL_FAILURE(StartStreams(4));
	ASSERT_TRUE(SendMore(0, 75)); // into the middle of a two-second group of pictures
	settings.destinations[3].enabled = true;
	std::string error;
	ASSERT_TRUE(engine.StartDestination(settings, 3, error)) << error;
	EXPECT_EQ(obs_output_get_audio_encoder(engine.runs[3]->output, 0), engine.audio_encoder.Get());
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
