// SRT and RIST beside RTMP, against ffmpeg listening on loopback: one encode
// with repeated headers for all three, what each receiver records, a refused
// passphrase, and an SRT receiver that goes away and comes back.
#include "tests/e2e/e2e.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace torvane;
using namespace torvane::test;
using MpegTs = Session;

namespace {

// Debian's libsrt crashes in its own static destructors at exit once it has
// connected (after OBS has shut down and every result is in), so the process
// ends before them, with the tests' verdict.
struct EndBeforeLibsrtExits : testing::Environment {
	void TearDown() override
	{
		std::fflush(nullptr);
		std::_Exit(testing::UnitTest::GetInstance()->Passed() ? 0 : 1);
	}
};

} // namespace

TEST_F(MpegTs, SrtAndRistRecordBesideRtmpAndSrtReconnects)
{
	testing::AddGlobalTestEnvironment(new EndBeforeLibsrtExits);
	const std::string srt_options = "mode=listener&passphrase=passphrase-of-SRT";
	Nginx rtmp;
	FfmpegReceiver srt, guarded, rist, srt_again;
	ASSERT_TRUE(rtmp.StartRtmp(work_dir, "rtmp") && srt.Listen(work_dir, "srt", "srt", srt_options) &&
		    guarded.Listen(work_dir, "guarded", "srt", "mode=listener&passphrase=another-passphrase") &&
		    rist.Listen(work_dir, "rist", "rist", ""));
	ASSERT_TRUE(StartHost(HostVideo()));
	settings = SharedAt(720, 30, 2500);
	const std::string at = "127.0.0.1:";
	settings.destinations = {
		Loopback("RTMP", rtmp.port),
		{"RIST", "Custom", "rist://" + at + std::to_string(rist.port), "", "", "", true},
		{"Guarded", "Custom", "srt://" + at + std::to_string(guarded.port), "", "", "wrong-pass", true},
		{"SRT", "Custom", "srt://" + at + std::to_string(srt.port), "id-SRT", "", "passphrase-of-SRT"}};
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	// A refused passphrase: OBS 30 fails it as a stream key, OBS 32 as a connection.
	ASSERT_TRUE(WaitFor([&] { return Texts().find("Sending / Sending / Failed: ") == 0; })) << Texts();
	const std::string refused = Text(2);
	// A failing SRT connection breaks those open in OBS: the good one comes after.
	settings.destinations[3].enabled = true;
	ASSERT_TRUE(engine.StartDestination(settings, 3, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Sending"; })) << Texts();
	EXPECT_TRUE(engine.VideoEncoderOf(0) == engine.VideoEncoderOf(1) &&
		    engine.VideoEncoderOf(0) == engine.VideoEncoderOf(3));
	OBSDataAutoRelease encoder = obs_encoder_get_settings(engine.VideoEncoderOf(0));
	EXPECT_TRUE(obs_data_get_bool(encoder, "repeat_headers"));
	ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(srt.recording); }, std::chrono::seconds(20)));
	engine.SampleThroughput();
	std::this_thread::sleep_for(std::chrono::seconds(1));
	engine.SampleThroughput();
	EXPECT_GT(engine.GetStats(3).kbps, 1000u);
	// Gone without a word (once ffmpeg writes its recording), then back on the
	// same port: the others send all along.
	StopChild(srt.pid, SIGKILL);
	srt.pid = -1;
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Reconnecting..."; }, std::chrono::seconds(20))) << Texts();
	ASSERT_TRUE(srt_again.Listen(work_dir, "srt-again", "srt", srt_options, srt.port));
	ASSERT_TRUE(WaitFor([&] { return Text(3) == "Sending"; }, std::chrono::seconds(30))) << Texts();
	const int frames = Frames(3);
	EXPECT_TRUE(WaitFor([&] { return Frames(3) >= frames + 60; }, std::chrono::seconds(30)));
	EXPECT_EQ(Texts(), "Sending / Sending / " + refused + " / Sending");

	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	rtmp.Stop();
	for (FfmpegReceiver *receiver : {&rist, &guarded, &srt_again})
		receiver->Stop();
	ASSERT_EQ(rtmp.Recordings().size(), 1u);
	for (const std::string &file : {rtmp.Recordings()[0], rist.recording, srt.recording, srt_again.recording}) {
		const Recording rec = ProbeRecording(file);
		EXPECT_EQ(rec.video + " / " + rec.audio, "h264,High,1280,720 / aac,48000,2") << file;
	}
}
