// Real servers on loopback. One shared encode fanned out over RTMP and RTMPS,
// the way Kick's ingest is reached (its dashboard host completed to :443/app,
// here the TLS front's port): every server records the quality asked for, and
// a closed port, an unknown application and an untrusted certificate each fail
// on their own destination only. A server that stops reading, and Stop all
// while it does so, cost only its own row.
#include "tests/e2e/e2e.h"

#include "settings/config.h"

#include <array>
#include <cstdlib>
#include <thread>
#include <utility>

using namespace torvane;
using namespace torvane::test;
using Streaming = Session;

TEST_F(Streaming, OneEncodeReachesEveryServerAndEachFailureStaysOnItsOwnDestination)
{
	const std::string host = std::string("e2e-ingest.") + kick_ingest_domain;
	ASSERT_TRUE(MakeAuthority(work_dir + "/trusted", host) && MakeAuthority(work_dir + "/impostor", host));
	std::string error;
	ASSERT_TRUE(PrivateTrustAndHosts(work_dir, work_dir + "/trusted/ca.crt", host, error)) << error;
	Nginx plain, behind_tls, other_app, front, impostor;
	ASSERT_TRUE(plain.StartRtmp(work_dir, "plain") && behind_tls.StartRtmp(work_dir, "behind-tls") &&
		    other_app.StartRtmp(work_dir, "other-app", "live"));
	ASSERT_TRUE(front.StartTls(work_dir, "front", work_dir + "/trusted/server.crt",
				   work_dir + "/trusted/server.key", behind_tls.port));
	ASSERT_TRUE(impostor.StartTls(work_dir, "impostor", work_dir + "/impostor/server.crt",
				      work_dir + "/impostor/server.key", behind_tls.port));
	HostVideo canvas; // 1080p host, 720p asked for: scaled down
	canvas.width = 1920;
	canvas.height = 1080;
	ASSERT_TRUE(StartHost(canvas));

	settings = SharedAt(720, 30, 2500);
	Destination kick = Loopback("Kick", 0), tls = Loopback("TLS", 0), untrusted = Loopback("Impostor", 0);
	kick.platform = "Kick";
	kick.server = "rtmps://E2E-Ingest." + std::string(kick_ingest_domain) + ":" + std::to_string(front.port) + "/";
	tls.server = "rtmps://" + host + ":" + std::to_string(front.port) + "/app";
	tls.username = "publisher";
	tls.password = "password-of-TLS";
	untrusted.server = "rtmps://" + host + ":" + std::to_string(impostor.port) + "/app";
	settings.destinations = {Loopback("Plain", plain.port),         kick,     tls, Loopback("Closed", FreePort()),
				 Loopback("Other-app", other_app.port), untrusted};
	const size_t sending = 3; // the first three

	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	auto settled = [&] {
		for (uint64_t i = 0; i < settings.destinations.size(); i++) {
			if (engine.GetStats(i).state !=
			    (i < sending ? DestinationState::Sending : DestinationState::Failed))
				return false;
		}
		return true;
	};
	ASSERT_TRUE(WaitFor(settled, std::chrono::seconds(15))) << Texts();
	const std::string failures = "Failed: connection / Failed: stream key / Failed: connection";
	EXPECT_EQ(Text(3) + " / " + Text(4) + " / " + Text(5), failures);
	EXPECT_EQ(engine.GetStats(5).last_error, "The RTMP server sent an invalid SSL certificate.");

	// Five seconds of stream, counted in frames: a busy machine makes the
	// software renderer skip frames and stretches the wall-clock time.
	EXPECT_TRUE(WaitFor([&] { return Frames(0) >= 150 && Frames(1) >= 150 && Frames(2) >= 150; },
			    std::chrono::seconds(30)));
	const int frames_sent[] = {Frames(0), Frames(1), Frames(2)};

	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }));
	EXPECT_EQ(Texts(), "Ready / Ready / Ready / " + failures);

	plain.Stop();
	behind_tls.Stop();
	other_app.Stop();
	EXPECT_TRUE(other_app.Recordings().empty());
	std::vector<std::string> files = plain.Recordings(), tls_files = behind_tls.Recordings();
	ASSERT_EQ(files.size(), 1u);
	ASSERT_EQ(tls_files.size(), 2u) << "the impostor's front passed a stream on";
	files.insert(files.end(), tls_files.begin(), tls_files.end()); // key-Kick, then key-TLS
	std::vector<uint64_t> packets;
	for (size_t i = 0; i < sending; i++) {
		SCOPED_TRACE(files[i]);
		Recording rec = ProbeRecording(files[i]);
		EXPECT_EQ(rec.video + " / " + rec.audio, "h264,Main,1280,720 / aac,48000,2");
		EXPECT_NEAR(rec.frame_rate, 30, 0.9);
		EXPECT_GE(double(rec.video_packets), frames_sent[i] * 0.97) << "frames were lost on the way";
		// Keyframes every 2 seconds: 60 frames apart, and 2 seconds in
		// stream time unless the renderer skipped host frames in between.
		// The first interval may end early while slow outputs still join.
		ASSERT_GE(rec.keyframe_packets.size(), 3u);
		for (size_t k = 2; k < rec.keyframe_packets.size(); k++) {
			EXPECT_EQ(rec.keyframe_packets[k] - rec.keyframe_packets[k - 1], 60u) << k;
			EXPECT_NEAR(rec.keyframe_times[k] - rec.keyframe_times[k - 1], 2.0, 0.3) << k;
		}
		// Constant bitrate: the encoder pads even a simple picture up to the target.
		EXPECT_NEAR(rec.video_kbps, 2500, 500);
		EXPECT_FALSE(rec.frozen) << "the picture does not move";
		EXPECT_GT(rec.mean_volume_db, -30.0) << "the tone is missing";
		packets.push_back(rec.video_packets);
	}
	// One encode: every server got the same frames, give or take the moment
	// its connection opened.
	EXPECT_NEAR(double(packets[1]), double(packets[0]), 15 * TimeScale());
	EXPECT_NEAR(double(packets[2]), double(packets[0]), 15 * TimeScale());
}

TEST_F(Streaming, AStalledServerCostsOnlyItsOwnDestination)
{
	Nginx steady, stalled;
	ASSERT_TRUE(steady.StartRtmp(work_dir, "steady") && stalled.StartRtmp(work_dir, "stalled"));
	HostVideo canvas; // 60 fps on the host, 30 asked for: every second frame
	canvas.fps_num = 60;
	ASSERT_TRUE(StartHost(canvas));
	// The highest bitrate fills the stalled connection's socket buffers soonest.
	settings = SharedAt(720, 30, 8000);
	settings.destinations = {Loopback("Steady", steady.port), Loopback("Stalled", stalled.port)};
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Texts() == "Sending / Sending"; })) << Texts();

	// Stalled: its drops show on its own line; the other is handed every frame.
	const int steady_before = Frames(0);
	const auto stall_start = std::chrono::steady_clock::now();
	stalled.Freeze();
	ASSERT_TRUE(WaitFor([&] { return engine.GetStats(1).frames_dropped > 0; }, std::chrono::seconds(25)));
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stall_start).count();
	EXPECT_GE(Frames(0) - steady_before, seconds * 30 * 0.5 / TimeScale());
	EXPECT_EQ(engine.GetStats(0).frames_dropped, 0);

	// Stop all while the server is frozen: every row ends on Ready.
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }, std::chrono::seconds(15)));
	EXPECT_EQ(Texts(), "Ready / Ready");
	steady.Stop();
	ASSERT_EQ(steady.Recordings().size(), 1u);
	Recording rec = ProbeRecording(steady.Recordings()[0]);
	EXPECT_NEAR(rec.frame_rate, 30, 0.9);
	EXPECT_LT(rec.longest_gap, 0.25) << "frames are missing at the server";
}

// AV1 goes out over enhanced RTMP, which ffmpeg reads (nginx does not); Twitch is refused it.
TEST_F(Streaming, AnAv1EncodeReachesAnEnhancedRtmpReceiverButNotTwitch)
{
	FfmpegReceiver receiver;
	ASSERT_TRUE(receiver.Start(work_dir, "receiver", "key-AV1"));
	HostVideo canvas; // small, so that the software AV1 encoder keeps up
	canvas.width = 640;
	canvas.height = 360;
	ASSERT_TRUE(StartHost(canvas));

	settings = SharedAt(720, 30, 1000);
	settings.encoder = "ffmpeg_svt_av1";
	Destination twitch = Loopback("Twitch", FreePort(), false);
	twitch.platform = "Twitch";
	settings.destinations = {Loopback("AV1", receiver.port), twitch};
	std::string error;
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([&] { return Text(0) == "Sending"; }, std::chrono::seconds(15))) << Texts();
	obs_encoder_t *encoder = engine.VideoEncoderOf(0);
	settings.destinations[1].enabled = true;
	EXPECT_FALSE(engine.StartDestination(settings, 1, error));
	EXPECT_EQ(error, "Destination 2: Twitch takes H.264 only. Choose an H.264 encoder for it.");
	// MPEG-TS carries neither AV1 nor, joining late, OBS's stream's encode.
	Destination srt = Loopback("SRT", 0);
	srt.server = "srt://127.0.0.1:" + std::to_string(FreePort());
	settings.destinations.push_back(srt);
	EXPECT_FALSE(engine.StartDestination(settings, 2, error));
	EXPECT_EQ(error, "Destination 3: SRT and RIST carry H.264 or HEVC, not av1. Choose another encoder.");
	settings.destinations[2].quality = OwnQuality{0, 0, 0, "", true};
	EXPECT_FALSE(engine.StartDestination(settings, 2, error));
	EXPECT_NE(error.find("Destination 3: an SRT or RIST server needs headers"), std::string::npos) << error;
	EXPECT_EQ(engine.runs.size(), 1u);
	EXPECT_EQ(engine.VideoEncoderOf(0), encoder);

	EXPECT_TRUE(WaitFor([&] { return Frames(0) >= 90; }, std::chrono::seconds(30)));
	const int frames_sent = Frames(0);
	engine.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }));
	receiver.Stop();
	Recording rec = ProbeRecording(receiver.recording);
	EXPECT_EQ(rec.video, "av1,Main,640,360");
	EXPECT_GE(double(rec.video_packets), frames_sent * 0.97) << "frames were lost on the way";
}

// The share of a recording's frame at `seconds` within 40 of an RGB colour on every channel.
static double ColourShare(const std::string &recording, double seconds, uint32_t rgb)
{
	const std::string pixels = RunCommand({"ffmpeg", "-v", "error", "-ss", std::to_string(seconds), "-i", recording,
					       "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
	size_t near = 0;
	for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
		bool close = true;
		for (int c = 0; c < 3; c++)
			close = close && std::abs(uint8_t(pixels[i + c]) - int((rgb >> (16 - 8 * c)) & 0xff)) <= 40;
		near += close;
	}
	return pixels.empty() ? -1 : double(near) * 3 / double(pixels.size());
}

// The program, the test card scene and the centre of the program at 9:16 at once, each its own size and
// colours; a scene that is gone refuses the start; five starts and stops leave nothing of libobs behind.
TEST_F(Streaming, EachPictureReachesItsServerAndLeavesNothingBehind)
{
	Nginx servers[3];
	ASSERT_TRUE(StartHost(HostVideo())); // 1280 x 720
	settings = SharedAt(720, 30, 2500);
	for (int i = 0; i < 3; i++) {
		ASSERT_TRUE(servers[i].StartRtmp(work_dir, "server-" + std::to_string(i)));
		settings.destinations.push_back(Loopback("P" + std::to_string(i), servers[i].port));
	}
	settings.destinations[1].picture = {PictureKind::Scene, "Gone"};
	settings.destinations[2].picture = {PictureKind::Vertical, ""};
	std::string error;
	EXPECT_FALSE(engine.StartAll(settings, error));
	EXPECT_EQ(error, "Destination 2: there is no scene \"Gone\" in this scene collection. Choose another picture.");
	settings.destinations[1].picture.scene = "Test card";
	settings.destinations[2].quality = OwnQuality{0, 0, 0, "", true};
	EXPECT_FALSE(engine.StartAll(settings, error));
	EXPECT_EQ(error.find("Destination 3: \"Same as OBS's stream\" sends OBS's program."), 0u) << error;
	EXPECT_TRUE(engine.groups.empty() && engine.runs.empty());
	settings.destinations[2].quality.reset();
	const auto stream = [&](int frames) {
		ASSERT_TRUE(engine.StartAll(settings, error)) << error;
		EXPECT_EQ(engine.groups.size(), 3u);
		EXPECT_TRUE(WaitFor([&] { return Frames(0) >= frames && Frames(1) >= frames && Frames(2) >= frames; },
				    std::chrono::seconds(30)));
		engine.StopAndRelease();
	};
	stream(150);
	// libobs keeps the name of every encoder and mix it ran for its profiler until it shuts down (one
	// allocation each: here three video encoders, the audio encoder and two mixes per start, on OBS 30.2
	// and 32.2 alike); a mix, view, scene or settings object left behind shows as more.
	const auto settled = [] { // the graphics thread frees a mix on its next frame
		long before = -1, now = bnum_allocs();
		for (; std::exchange(before, now) != now; now = bnum_allocs())
			std::this_thread::sleep_for(std::chrono::milliseconds(100));
		return now;
	};
	const long allocations = settled();
	for (int cycle = 0; cycle < 5; cycle++)
		stream(1);
	EXPECT_EQ(settled() - allocations, 5 * (3 + 1 + 2)) << "a mix, view or scene was left behind";

	const char *sizes[] = {"h264,High,1280,720", "h264,High,1280,720", "h264,High,720,1280"};
	double shares[3][4]; // magenta, green, blue, cyan
	for (int i = 0; i < 3; i++) {
		const std::string file = servers[i].Recordings().at(0);
		SCOPED_TRACE(file);
		const Recording rec = ProbeRecording(file);
		EXPECT_EQ(rec.video, sizes[i]);
		EXPECT_NEAR(rec.frame_rate, 30, 1.5); // three mixes on a software renderer
		for (int c = 0; c < 4; c++)
			shares[i][c] =
				ColourShare(file, 2.0, std::array{0xff00ffu, 0x00ff00u, 0x0000ffu, 0x00ffffu}[c]);
	}
	EXPECT_TRUE(shares[0][0] < 0.01 && shares[0][1] < 0.01 && shares[0][2] > 0.03 && shares[0][3] > 0.03);
	EXPECT_TRUE(shares[1][0] > 0.45 && shares[1][1] > 0.45);
	EXPECT_TRUE(shares[2][2] < 0.002 && shares[2][3] < 0.002) << "the vertical picture shows the program's edges";
}
