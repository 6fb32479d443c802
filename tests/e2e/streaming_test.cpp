// One shared encode fanned out to 1, 2 and 4 real RTMP servers: each server
// must record the same picture at the size and rate the quality asks for, with
// the encoder settings every destination relies on, and the panel's texts must
// follow the run from start to stop.
#include "tests/e2e/support.h"

#include "panel/live_status.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <thread>

namespace {

using namespace e2e;
using torvane::engine;

struct FanoutCase {
	const char *name;
	torvane::HostVideo host;
	int32_t height, fps, bitrate;
	size_t destinations;
	uint32_t expect_width, expect_height;
	double expect_fps;
	const char *expect_output_line;
};

void PrintTo(const FanoutCase &c, std::ostream *os)
{
	*os << c.name;
}

class Fanout : public testing::TestWithParam<FanoutCase> {};

TEST_P(Fanout, EveryServerRecordsTheSharedEncode)
{
	const FanoutCase &c = GetParam();
	HostSession session;
	ASSERT_TRUE(session.Start(c.host));

	std::vector<RtmpServer> servers(c.destinations);
	std::vector<torvane::Destination> destinations;
	for (size_t i = 0; i < c.destinations; i++) {
		ASSERT_TRUE(servers[i].Start(session.work_dir, "server" + std::to_string(i)));
		destinations.push_back(
			LocalDestination("Local " + std::to_string(i + 1), servers[i].port, "key" + std::to_string(i)));
	}
	torvane::PanelSettings settings = TestSettings(destinations);
	settings.height = c.height;
	settings.fps = c.fps;
	settings.bitrate = c.bitrate;
	const std::string n = std::to_string(c.destinations);

	EXPECT_EQ(torvane::HeaderCountText(settings, engine), n + " enabled  ·  Ready");
	std::string error = "untouched";
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	EXPECT_EQ(error, "");
	ASSERT_EQ(engine.runs.size(), c.destinations);

	// Every destination shows Connecting... until its server answers, then Sending.
	std::vector<std::string> first = WatchTexts(
		0, [&] { return AllSending(c.destinations); }, std::chrono::seconds(10));
	ASSERT_TRUE(AllSending(c.destinations)) << "destination 1 went " << testing::PrintToString(first);
	EXPECT_EQ(first.front(), "Connecting...");
	EXPECT_EQ(first.back(), "Sending");
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), n + " / " + n + " sending");
	obs_video_info ovi = {};
	ASSERT_TRUE(obs_get_video_info(&ovi));
	EXPECT_EQ(torvane::ActualOutputLine(settings, &ovi).text, c.expect_output_line);

	// The encoder the outputs share carries the quality's settings.
	ASSERT_NE(engine.video_encoder, nullptr);
	OBSDataAutoRelease encoder_settings = obs_encoder_get_settings(engine.video_encoder);
	EXPECT_STREQ(obs_data_get_string(encoder_settings, "rate_control"), "CBR");
	EXPECT_EQ(obs_data_get_int(encoder_settings, "bitrate"), c.bitrate);
	EXPECT_EQ(obs_data_get_int(encoder_settings, "keyint_sec"), 2);
	EXPECT_EQ(obs_encoder_get_width(engine.video_encoder), c.expect_width);
	EXPECT_EQ(obs_encoder_get_height(engine.video_encoder), c.expect_height);
	for (const auto &run : engine.runs)
		EXPECT_EQ(obs_output_get_video_encoder(run->output), engine.video_encoder);

	// Five seconds of stream: counted in frames, because a busy machine makes
	// the software renderer skip frames and stretches the wall-clock time.
	torvane::HostFrameCounts frames_before = torvane::GetHostFrameCounts();
	const int wanted = static_cast<int>(c.expect_fps * 5);
	auto sent_enough = [&] {
		for (const auto &run : engine.runs) {
			if (obs_output_get_total_frames(run->output) < wanted)
				return false;
		}
		return true;
	};
	EXPECT_TRUE(WaitFor(sent_enough, std::chrono::seconds(30)));
	torvane::HostFrameCounts frames_after = torvane::GetHostFrameCounts();
	printf("host frames while streaming: %u rendered, %u lagged\n", frames_after.total - frames_before.total,
	       frames_after.lagged - frames_before.lagged);
	std::vector<int> frames_sent;
	for (const auto &run : engine.runs)
		frames_sent.push_back(obs_output_get_total_frames(run->output));
	for (size_t i = 0; i < c.destinations; i++) {
		EXPECT_EQ(engine.GetStats(i).frames_dropped, 0) << "destination " << i + 1;
		EXPECT_EQ(torvane::DestinationStatusLine(settings.destinations[i], engine.GetStats(i)).text, "Sending");
	}

	// Stop all: every destination passes through Stopping... to Ready and
	// never shows a failure.
	engine.RequestStopAll();
	for (size_t i = 0; i < c.destinations; i++) {
		std::vector<std::string> seen = WatchTexts(
			i, [] { return !engine.IsBusy(); }, std::chrono::seconds(10));
		EXPECT_EQ(seen.back(), "Ready") << "destination " << i + 1;
		for (const std::string &text : seen)
			EXPECT_TRUE(text == "Stopping..." || text == "Ready")
				<< "destination " << i + 1 << ": " << text;
	}
	EXPECT_FALSE(engine.IsBusy());
	EXPECT_EQ(torvane::HeaderCountText(settings, engine), n + " enabled  ·  Ready");
	engine.StopAndRelease();
	EXPECT_EQ(engine.video_encoder, nullptr);
	EXPECT_EQ(engine.audio_encoder, nullptr);

	std::vector<Recording> recordings;
	for (size_t i = 0; i < c.destinations; i++) {
		servers[i].Stop();
		std::vector<std::string> files = servers[i].Recordings();
		ASSERT_EQ(files.size(), 1u) << "server " << i + 1;
		Recording rec;
		ASSERT_TRUE(ProbeRecording(files[0], rec, error)) << error;
		SCOPED_TRACE(rec.path);
		EXPECT_EQ(rec.video_codec, "h264");
		EXPECT_EQ(rec.video_profile, "High");
		EXPECT_EQ(rec.audio_codec, "aac");
		EXPECT_EQ(rec.sample_rate, 48000u);
		EXPECT_EQ(rec.channels, 2u);
		EXPECT_EQ(rec.width, c.expect_width);
		EXPECT_EQ(rec.height, c.expect_height);
		EXPECT_NEAR(rec.frame_rate, c.expect_fps, c.expect_fps * 0.03);
		// Everything the output was handed up to the stop arrived.
		EXPECT_GE(double(rec.video_packets), frames_sent[i] * 0.97);
		// Keyframes every 2 seconds: exactly 2 x fps frames apart. In stream
		// time too, unless the renderer skipped host frames in between,
		// which moves the frames the divisor picks.
		ASSERT_GE(rec.keyframe_packets.size(), 3u);
		for (size_t k = 1; k < rec.keyframe_packets.size(); k++) {
			EXPECT_EQ(rec.keyframe_packets[k] - rec.keyframe_packets[k - 1], uint64_t(c.expect_fps * 2))
				<< "keyframe " << k << " at " << rec.keyframe_times[k];
			EXPECT_NEAR(rec.keyframe_times[k] - rec.keyframe_times[k - 1], 2.0, 0.3);
		}
		// Constant bitrate: the encoder pads even a simple picture up to
		// the target.
		EXPECT_NEAR(rec.video_kbps, c.bitrate, c.bitrate * 0.2);
		EXPECT_GE(rec.distinct_frames, 8u) << "the picture does not move";
		EXPECT_GT(rec.mean_volume_db, -30.0) << "the tone is missing";
		recordings.push_back(rec);
	}
	// One encode: every server got the same frames, give or take the
	// moment its connection opened.
	for (const Recording &rec : recordings)
		EXPECT_NEAR(double(rec.video_packets), double(recordings[0].video_packets), c.expect_fps * 0.5);
}

torvane::HostVideo Canvas(uint32_t width, uint32_t height, uint32_t fps)
{
	torvane::HostVideo video;
	video.width = width;
	video.height = height;
	video.fps_num = fps;
	return video;
}

INSTANTIATE_TEST_SUITE_P(
	Destinations, Fanout,
	testing::Values(
		// 1080p canvas, 720p chosen: scaled down.
		FanoutCase{"One", Canvas(1920, 1080, 30), 720, 30, 2500, 1, 1280, 720, 30.0,
			   "Actual output: 1280 × 720 / 30 fps  ·  H.264 + AAC"},
		// 720p60 canvas, 1080p30 chosen: never enlarged, every second frame.
		FanoutCase{"Two", Canvas(1280, 720, 60), 1080, 30, 4000, 2, 1280, 720, 30.0,
			   "For full 1080p, set OBS Settings → Video → Output resolution to 1920 × 1080."},
		// 1366 × 768: libobs trims the host output to 1364 wide (a multiple
		// of 4); the encoder and the panel's line both follow the trimmed size.
		FanoutCase{"Four", Canvas(1366, 768, 30), 720, 30, 1500, 4, 1278, 720, 30.0,
			   "Actual output: 1278 × 720 / 30 fps  ·  H.264 + AAC"}),
	[](const testing::TestParamInfo<FanoutCase> &param) { return std::string(param.param.name); });

} // namespace
