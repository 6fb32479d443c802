// StartAll against a real libobs: the objects it creates, the settings they
// carry and every refusal.
#include "engine/engine.h"
#include "tests/engine/streams.h"

#include <string>

using namespace torvane;
using namespace torvane::test;

namespace {

std::string StringSetting(obs_data_t *data, const char *name)
{
	return obs_data_get_string(data, name);
}

void ExpectIdle(const MultistreamEngine &multistream)
{
	EXPECT_TRUE(multistream.runs.empty());
	EXPECT_EQ(multistream.video_encoder, nullptr);
	EXPECT_EQ(multistream.audio_encoder, nullptr);
}

} // namespace

using EngineStart = ObsHostTest;

TEST_F(EngineStart, BuildsOneSharedEncodePairAndANamedOutputPerEnabledDestination)
{
	const int port = ClosedLoopbackPort();
	PanelSettings settings = Quality(720, 30, 3500);
	settings.destinations = {Loopback("first", port, false), Loopback("second", port, false),
				 Loopback("third", port), Loopback("fourth", port)};
	settings.destinations[2].username = "publisher";
	settings.destinations[2].password = "secret";

	HostVideo host;
	host.width = 1920;
	host.height = 1080;
	host.fps_num = 60;
	ResetHostVideo(host);

	MultistreamEngine multistream;
	std::string error = "stale";
	ASSERT_TRUE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "");

	obs_encoder_t *video = multistream.video_encoder;
	obs_encoder_t *audio = multistream.audio_encoder;
	ASSERT_NE(video, nullptr);
	ASSERT_NE(audio, nullptr);
	EXPECT_STREQ(obs_encoder_get_id(video), "obs_x264");
	EXPECT_STREQ(obs_encoder_get_name(video), "Torvane H264");
	EXPECT_STREQ(obs_encoder_get_id(audio), "ffmpeg_aac");
	EXPECT_STREQ(obs_encoder_get_name(audio), "Torvane AAC");
	EXPECT_EQ(obs_encoder_audio(audio), obs_get_audio());
	EXPECT_EQ(obs_encoder_get_preferred_video_format(video), VIDEO_FORMAT_NV12);

	// 1920 x 1080 at 60 fps on the host, 720p at 30 fps chosen.
	EXPECT_EQ(obs_encoder_get_width(video), 1280u);
	EXPECT_EQ(obs_encoder_get_height(video), 720u);
	EXPECT_EQ(obs_encoder_get_frame_rate_divisor(video), 2u);

	{
		ObsData video_settings(obs_encoder_get_settings(video));
		EXPECT_EQ(StringSetting(video_settings.get(), "rate_control"), "CBR");
		EXPECT_EQ(obs_data_get_int(video_settings.get(), "bitrate"), 3500);
		EXPECT_EQ(obs_data_get_int(video_settings.get(), "keyint_sec"), 2);
		EXPECT_EQ(StringSetting(video_settings.get(), "preset"), "veryfast");
		EXPECT_EQ(StringSetting(video_settings.get(), "profile"), "high");
		EXPECT_FALSE(obs_data_has_user_value(video_settings.get(), "tune"));
		ObsData audio_settings(obs_encoder_get_settings(audio));
		EXPECT_EQ(obs_data_get_int(audio_settings.get(), "bitrate"), 160);
	}

	// One encode for every destination: the host holds just these two encoders.
	size_t encoders = 0;
	obs_enum_encoders(
		[](void *count, obs_encoder_t *) {
			++*static_cast<size_t *>(count);
			return true;
		},
		&encoders);
	EXPECT_EQ(encoders, 2u);

	ASSERT_EQ(multistream.runs.size(), 2u);
	struct Expected {
		uint64_t index;
		const char *name;
		const char *key;
		bool use_auth;
		const char *username;
		const char *password;
	};
	const Expected expected[] = {
		{2, "Torvane destination 3", "key-third", true, "publisher", "secret"},
		{3, "Torvane destination 4", "key-fourth", false, "", ""},
	};
	for (size_t i = 0; i < 2; i++) {
		const DestinationRun &run = *multistream.runs[i];
		SCOPED_TRACE(expected[i].name);
		EXPECT_EQ(run.destination_index, expected[i].index);
		ASSERT_NE(run.output, nullptr);
		ASSERT_NE(run.service, nullptr);
		EXPECT_STREQ(obs_output_get_id(run.output), "rtmp_output");
		EXPECT_STREQ(obs_output_get_name(run.output), expected[i].name);
		EXPECT_STREQ(obs_service_get_id(run.service), "rtmp_custom");
		EXPECT_STREQ(obs_service_get_name(run.service), expected[i].name);
		EXPECT_EQ(obs_output_get_service(run.output), run.service);
		EXPECT_EQ(obs_output_get_video_encoder(run.output), video);
		EXPECT_EQ(obs_output_get_audio_encoder(run.output, 0), audio);
		EXPECT_FALSE(run.stop_requested.load());

		ObsData service(obs_service_get_settings(run.service));
		EXPECT_EQ(StringSetting(service.get(), "server"), settings.destinations[expected[i].index].server);
		EXPECT_EQ(StringSetting(service.get(), "key"), expected[i].key);
		EXPECT_EQ(obs_data_get_bool(service.get(), "use_auth"), expected[i].use_auth);
		EXPECT_EQ(StringSetting(service.get(), "username"), expected[i].username);
		EXPECT_EQ(StringSetting(service.get(), "password"), expected[i].password);

		ObsData output(obs_output_get_settings(run.output));
		EXPECT_TRUE(obs_data_has_user_value(output.get(), "dyn_bitrate"));
		EXPECT_FALSE(obs_data_get_bool(output.get(), "dyn_bitrate"));
	}

	// Nothing listens on the port: both connections are refused, and that
	// reaches the records through the "stop" signal StartAll connected.
	ASSERT_TRUE(WaitForState(multistream, 2, DestinationState::Failed));
	ASSERT_TRUE(WaitForState(multistream, 3, DestinationState::Failed));
	EXPECT_STREQ(TextOf(multistream, 2), "Failed: connection");
	EXPECT_EQ(multistream.GetStats(3).last_code, OBS_OUTPUT_CONNECT_FAILED);
	EXPECT_EQ(multistream.GetStats(3).frames_dropped, 0);
	EXPECT_EQ(multistream.GetStats(0).state, 0u);
	EXPECT_FALSE(multistream.IsBusy());
}

TEST_F(EngineStart, NeverEnlargesTheHostPictureAndLimitsFractionalRates)
{
	HostVideo host;
	host.width = 1280;
	host.height = 720;
	host.fps_num = 60000;
	host.fps_den = 1001;
	ResetHostVideo(host);

	struct Case {
		int32_t fps;
		uint32_t divisor;
	};
	for (const Case c : {Case{30, 2}, Case{60, 1}}) {
		MultistreamEngine multistream;
		PanelSettings settings = Quality(1080, c.fps);
		settings.destinations = {Loopback("only", ClosedLoopbackPort())};
		std::string error;
		ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
		EXPECT_EQ(obs_encoder_get_width(multistream.video_encoder), 1280u);
		EXPECT_EQ(obs_encoder_get_height(multistream.video_encoder), 720u);
		EXPECT_EQ(obs_encoder_get_frame_rate_divisor(multistream.video_encoder), c.divisor);
		EXPECT_TRUE(Settle(multistream));
	}
}

TEST_F(EngineStart, KickNeedsStereoAudioAtMost48kHzAndGetsItsOwnEncoderProfile)
{
	struct Case {
		const char *what;
		HostAudio audio;
		const char *platform;
		bool kick_enabled;
		bool starts;
		const char *profile;
	};
	const Case cases[] = {
		{"Kick, 48 kHz stereo", {48000, SPEAKERS_STEREO}, "Kick", true, true, "main"},
		{"Kick, 44.1 kHz stereo", {44100, SPEAKERS_STEREO}, "Kick", true, true, "main"},
		{"Kick, 48 kHz mono", {48000, SPEAKERS_MONO}, "Kick", true, false, nullptr},
		{"Kick, 48 kHz 5.1", {48000, SPEAKERS_5POINT1}, "Kick", true, false, nullptr},
		{"Kick, 96 kHz stereo", {96000, SPEAKERS_STEREO}, "Kick", true, false, nullptr},
		{"unticked Kick, mono", {48000, SPEAKERS_MONO}, "Kick", false, true, "high"},
		{"lower-case kick, mono", {48000, SPEAKERS_MONO}, "kick", true, true, "high"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		ResetHostAudio(c.audio);
		const int port = ClosedLoopbackPort();
		PanelSettings settings = Quality(1080, 30);
		settings.destinations = {Loopback("custom", port), Loopback("kick", port, c.kick_enabled)};
		settings.destinations[1].platform = c.platform;

		MultistreamEngine multistream;
		// A failed earlier run that a refused start must release.
		std::string error;
		ASSERT_TRUE(multistream.StartAll(Single(port), error)) << error;
		ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));

		const bool started = multistream.StartAll(settings, error);
		EXPECT_EQ(started, c.starts);
		if (!c.starts) {
			EXPECT_EQ(error,
				  "Kick needs stereo audio at 48 kHz or lower. Set this in OBS Settings > Audio, "
				  "then try again.");
			ExpectIdle(multistream);
			continue;
		}
		ASSERT_NE(multistream.video_encoder, nullptr);
		ObsData video(obs_encoder_get_settings(multistream.video_encoder));
		EXPECT_EQ(StringSetting(video.get(), "profile"), c.profile);
		const bool kick_mode = std::string(c.profile) == "main";
		EXPECT_EQ(obs_data_has_user_value(video.get(), "tune"), kick_mode);
		if (kick_mode) {
			EXPECT_EQ(StringSetting(video.get(), "tune"), "zerolatency");
		}
		EXPECT_TRUE(Settle(multistream));
	}
}

TEST_F(EngineStart, RefusesHdrColourSpacesAndAcceptsTheSdrOnes)
{
	struct Case {
		video_colorspace colorspace;
		bool starts;
	};
	const Case cases[] = {
		{VIDEO_CS_2100_PQ, false}, {VIDEO_CS_2100_HLG, false}, {VIDEO_CS_DEFAULT, true},
		{VIDEO_CS_601, true},      {VIDEO_CS_SRGB, true},      {VIDEO_CS_709, true},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << "colour space " << int(c.colorspace));
		HostVideo host;
		host.colorspace = c.colorspace;
		ResetHostVideo(host);

		MultistreamEngine multistream;
		std::string error;
		const bool started = multistream.StartAll(Single(ClosedLoopbackPort()), error);
		EXPECT_EQ(started, c.starts);
		if (started) {
			EXPECT_TRUE(Settle(multistream));
			continue;
		}
		EXPECT_EQ(error, "Use an SDR OBS video profile (Rec. 709) for this H.264 multistream.");
		ExpectIdle(multistream);
	}
}

TEST_F(EngineStart, RefusesWhileARunIsBusyWithoutTouchingIt)
{
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	DestinationRun *run = multistream.runs[0].get();
	obs_output_t *output = run->output;
	obs_encoder_t *video = multistream.video_encoder;

	for (const char *signal : {"start", "reconnect"}) {
		SCOPED_TRACE(signal);
		EmitFromOtherThread(output, signal);
		const uint32_t state = multistream.GetStats(0).state;

		EXPECT_FALSE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
		EXPECT_EQ(error, "A stream is still running or stopping.");
		ASSERT_EQ(multistream.runs.size(), 1u);
		EXPECT_EQ(multistream.runs[0].get(), run);
		EXPECT_EQ(run->output, output);
		EXPECT_EQ(multistream.video_encoder, video);
		EXPECT_EQ(multistream.GetStats(0).state, state);
		EXPECT_FALSE(run->stop_requested.load());
	}
}

TEST_F(EngineStart, ReportsWhenNoOutputCanStartAndKeepsTheFailedRunsUntilTheNextStart)
{
	// x264 refuses high-precision host formats when the outputs start, which
	// fails every output after the encoders were created.
	HostVideo host;
	host.format = VIDEO_FORMAT_P010;
	ResetHostVideo(host);

	const int port = ClosedLoopbackPort();
	PanelSettings settings = Quality(1080, 30);
	settings.destinations = {Loopback("one", port), Loopback("off", port, false), Loopback("two", port)};

	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "No destination could start. Check OBS video/audio settings and the destination status.");
	ASSERT_EQ(multistream.runs.size(), 2u);
	EXPECT_NE(multistream.video_encoder, nullptr);
	EXPECT_NE(multistream.audio_encoder, nullptr);
	for (uint64_t index : {0u, 2u}) {
		const DestinationStats stats = multistream.GetStats(index);
		EXPECT_EQ(stats.state, uint32_t(DestinationState::Failed));
		EXPECT_EQ(stats.last_code, OBS_OUTPUT_ERROR);
		EXPECT_STREQ(DestinationStateText(stats.state, stats.last_code), "Failed: check settings");
	}
	EXPECT_FALSE(multistream.IsBusy());

	// Stop all leaves the failures on show.
	multistream.RequestStopAll();
	EXPECT_EQ(multistream.GetStats(2).state, uint32_t(DestinationState::Failed));
	EXPECT_EQ(multistream.GetStats(2).last_code, OBS_OUTPUT_ERROR);

	// They do not block the next start, which releases them first.
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "No destination could start. Check OBS video/audio settings and the destination status.");
	EXPECT_EQ(multistream.runs.size(), 2u);
}

TEST_F(EngineStart, ANewStartReleasesTheFailedRunsOfTheLastOne)
{
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	ObsWeakOutput old_output(obs_output_get_weak_output(multistream.runs[0]->output));
	ObsWeakEncoder old_encoder(obs_encoder_get_weak_encoder(multistream.video_encoder));

	ASSERT_TRUE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	EXPECT_TRUE(Settle(multistream));
	ObsOutput output(obs_weak_output_get_output(old_output.get()));
	EXPECT_EQ(output.get(), nullptr);
	ObsEncoder encoder(obs_weak_encoder_get_encoder(old_encoder.get()));
	EXPECT_EQ(encoder.get(), nullptr);
	EXPECT_EQ(multistream.runs.size(), 1u);
}

TEST_F(EngineStart, PassesOnTheValidationSentenceAndLeavesTheLastRunAsItWas)
{
	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	ASSERT_TRUE(WaitForState(multistream, 0, DestinationState::Failed));
	const DestinationRun *run = multistream.runs[0].get();
	obs_encoder_t *video = multistream.video_encoder;

	struct Case {
		PanelSettings settings;
		const char *sentence;
	};
	PanelSettings low_bitrate = Single(ClosedLoopbackPort());
	low_bitrate.bitrate = 999;
	PanelSettings nothing_ticked = Single(ClosedLoopbackPort());
	nothing_ticked.destinations[0].enabled = false;
	PanelSettings unnamed = Quality(1080, 30);
	unnamed.destinations = {Loopback("a", 1935, false), Loopback("b", 1935, false), Loopback("", 1935)};
	const Case cases[] = {
		{low_bitrate, "Video bitrate must be between 1000 and 8000 kbps."},
		{nothing_ticked, "Enable at least one destination using its checkbox."},
		{unnamed, "Destination 3: enter a name."},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.sentence);
		EXPECT_FALSE(multistream.StartAll(c.settings, error));
		EXPECT_EQ(error, c.sentence);
		ASSERT_EQ(multistream.runs.size(), 1u);
		EXPECT_EQ(multistream.runs[0].get(), run);
		EXPECT_EQ(multistream.video_encoder, video);
		EXPECT_STREQ(TextOf(multistream, 0), "Failed: connection");
	}
}

TEST_F(EngineStart, StreamsKickToTheCompletedDashboardUrl)
{
	PanelSettings settings = Quality(1080, 30);
	Destination kick = Loopback("Kick", 0);
	kick.platform = "Kick";
	kick.server = "rtmps://fa723fc1b171.global-contribute.live-video.net/";
	settings.destinations = {kick};

	MultistreamEngine multistream;
	std::string error;
	ASSERT_TRUE(multistream.StartAll(settings, error)) << error;
	ObsData service(obs_service_get_settings(multistream.runs[0]->service));
	EXPECT_EQ(StringSetting(service.get(), "server"),
		  "rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	EXPECT_TRUE(Settle(multistream));
}
