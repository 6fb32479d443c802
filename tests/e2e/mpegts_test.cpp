// SRT and RIST beside RTMP, against ffmpeg listening on loopback: what each
// receiver records, a refused passphrase, a receiver that goes away and comes
// back, and a late start that needs headers its quality's encoder lacks.
#include "tests/e2e/e2e.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace torvane;
using namespace torvane::test;
using MpegTs = Session;

namespace {

Destination Srt(const std::string &name, uint16_t port, const std::string &passphrase)
{
	return Destination{name, "Custom", "srt://127.0.0.1:" + std::to_string(port) + "",
			   "stream-id-" + name, "", passphrase, true};
}

bool RepeatsHeaders(obs_encoder_t *encoder)
{
	OBSDataAutoRelease data = obs_encoder_get_settings(encoder);
	return obs_data_get_bool(data, "repeat_headers");
}

std::string Probed(const std::string &path)
{
	const Recording rec = ProbeRecording(path);
	return rec.video + " / " + rec.audio;
}

// Debian's libsrt crashes in its own static destructors at exit once it has
// connected (after OBS has shut down and every result is in), so a process
// that used it ends before them, with the tests' verdict.
bool srt_used = false;
struct EndBeforeLibsrtExits : testing::Environment {
	void TearDown() override
	{
		if (!srt_used)
			return;
		std::fflush(nullptr);
		std::_Exit(testing::UnitTest::GetInstance()->Passed() ? 0 : 1);
	}
};
const auto *const end_before_libsrt = testing::AddGlobalTestEnvironment(new EndBeforeLibsrtExits);

} // namespace

TEST_F(MpegTs, SrtRecordsBesideRtmpRefusesAWrongPassphraseAndReconnects)
{
	Nginx rtmp;
	FfmpegReceiver srt, guarded, srt_again;
	ASSERT_TRUE(rtmp.StartRtmp(work_dir, "rtmp") &&
		    srt.Listen(work_dir, "srt", "srt", "mode=listener&passphrase=passphrase-of-SRT") &&
		    guarded.Listen(work_dir, "guarded", "srt", "mode=listener&passphrase=another-passphrase"));
	ASSERT_TRUE(StartHost(HostVideo()));
	srt_used = true;
	settings = SharedAt(720, 30, 2500);
	settings.destinations = {Loopback("RTMP", rtmp.port), Srt("SRT", srt.port, "passphrase-of-SRT"),
				 Srt("Guarded", guarded.port, "wrong-passphrase")};
	settings.destinations[1].enabled = false;
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(0) == "Sending" && Text(2) == "Failed: stream key"; },
			    std::chrono::seconds(20)))
		<< Texts();
	// A failing SRT connection tears down OBS's SRT library under the ones
	// that are open, so the good one starts after it.
	settings.destinations[1].enabled = true;
	ASSERT_TRUE(engine.StartDestination(settings, 1, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Sending"; }, std::chrono::seconds(20))) << Texts();
	EXPECT_EQ(engine.VideoEncoderOf(0), engine.VideoEncoderOf(1)) << "one encode for both protocols";
	EXPECT_TRUE(RepeatsHeaders(engine.VideoEncoderOf(0)));
	const int before = Frames(1);
	EXPECT_TRUE(WaitFor([&] { return Frames(1) >= before + 90; }, std::chrono::seconds(30)));
	engine.SampleThroughput();
	std::this_thread::sleep_for(std::chrono::seconds(1));
	engine.SampleThroughput();
	EXPECT_GT(engine.GetStats(1).kbps, 1000u);

	// ffmpeg writes its recording once it has seen enough of the stream.
	ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(srt.recording); }, std::chrono::seconds(20)));
	std::this_thread::sleep_for(std::chrono::seconds(1));

	// Gone without a word: SRT notices after its peer idle time, then tries
	// again until the receiver is back; RTMP sends all along.
	const uint16_t port = srt.port;
	StopChild(srt.pid, SIGKILL);
	srt.pid = -1;
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Reconnecting..."; }, std::chrono::seconds(20))) << Texts();
	EXPECT_EQ(Text(0), "Sending");
	ASSERT_TRUE(srt_again.Listen(work_dir, "srt-again", "srt", "mode=listener&passphrase=passphrase-of-SRT",
				     port));
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Sending"; }, std::chrono::seconds(30))) << Texts();
	const int frames = Frames(1);
	EXPECT_TRUE(WaitFor([&] { return Frames(1) >= frames + 60; }, std::chrono::seconds(30)));

	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	EXPECT_EQ(Texts(), "Ready / Ready / Failed: stream key");
	rtmp.Stop();
	srt_again.Stop();
	guarded.Stop();
	ASSERT_EQ(rtmp.Recordings().size(), 1u);
	EXPECT_EQ(Probed(rtmp.Recordings()[0]), "h264,High,1280,720 / aac,48000,2");
	EXPECT_EQ(Probed(srt.recording), "h264,High,1280,720 / aac,48000,2");
	EXPECT_EQ(Probed(srt_again.recording), "h264,High,1280,720 / aac,48000,2");
	EXPECT_EQ(ProbeRecording(guarded.recording).video_packets, 0u);
}

// RIST started on its own while its quality already streams over RTMP: the
// running encoder does not repeat its headers, so RIST gets one that does.
TEST_F(MpegTs, ALateRistStartGetsAnEncoderThatRepeatsHeaders)
{
	Nginx rtmp;
	FfmpegReceiver rist;
	ASSERT_TRUE(rtmp.StartRtmp(work_dir, "rtmp") && rist.Listen(work_dir, "rist", "rist", ""));
	ASSERT_TRUE(StartHost(HostVideo()));
	settings = SharedAt(720, 30, 2500);
	settings.destinations = {Loopback("RTMP", rtmp.port),
				 Destination{"RIST", "Custom", "rist://127.0.0.1:" + std::to_string(rist.port), "", "",
					     "", false}};
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(0) == "Sending"; })) << Texts();
	EXPECT_FALSE(RepeatsHeaders(engine.VideoEncoderOf(0)));
	settings.destinations[1].enabled = true;
	ASSERT_TRUE(engine.StartDestination(settings, 1, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(1) == "Sending"; }, std::chrono::seconds(20))) << Texts();
	EXPECT_NE(engine.VideoEncoderOf(1), engine.VideoEncoderOf(0));
	EXPECT_TRUE(RepeatsHeaders(engine.VideoEncoderOf(1)));
	EXPECT_TRUE(WaitFor([&] { return Frames(1) >= 90; }, std::chrono::seconds(30)));
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	rist.Stop();
	EXPECT_EQ(Probed(rist.recording), "h264,High,1280,720 / aac,48000,2");
}
