// The headless host itself: what it puts on the program output must reach a
// server as a moving picture with an audible tone, or every other end-to-end
// check would be judging a still or silent stream.
#include "tests/e2e/support.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <thread>

namespace {

using namespace e2e;

TEST(HeadlessHost, PictureMovesAndToneSoundsAtTheServer)
{
	HostSession session;
	ASSERT_TRUE(session.Start());
	RtmpServer server;
	ASSERT_TRUE(server.Start(session.work_dir, "server"));

	OBSDataAutoRelease video_settings = obs_data_create();
	obs_data_set_string(video_settings, "rate_control", "CBR");
	obs_data_set_int(video_settings, "bitrate", 1500);
	OBSEncoderAutoRelease video = obs_video_encoder_create("obs_x264", "host video", video_settings, nullptr);
	OBSEncoderAutoRelease audio = obs_audio_encoder_create("ffmpeg_aac", "host audio", nullptr, 0, nullptr);
	ASSERT_TRUE(video && audio);
	obs_encoder_set_video(video, obs_get_video());
	obs_encoder_set_audio(audio, obs_get_audio());

	OBSDataAutoRelease service_settings = obs_data_create();
	obs_data_set_string(service_settings, "server",
			    ("rtmp://127.0.0.1:" + std::to_string(server.port) + "/app").c_str());
	obs_data_set_string(service_settings, "key", "host");
	OBSServiceAutoRelease service = obs_service_create("rtmp_custom", "host service", service_settings, nullptr);
	OBSOutputAutoRelease output = obs_output_create("rtmp_output", "host output", nullptr, nullptr);
	ASSERT_TRUE(service && output);
	obs_output_set_service(output, service);
	obs_output_set_video_encoder(output, video);
	obs_output_set_audio_encoder(output, audio, 0);
	ASSERT_TRUE(obs_output_start(output));
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(4)));
	obs_output_force_stop(output);
	ASSERT_TRUE(WaitFor([&] { return !obs_output_active(output); }, std::chrono::seconds(5)));
	torvane::HostFrameCounts frames = torvane::GetHostFrameCounts();
	server.Stop();

	std::vector<std::string> files = server.Recordings();
	ASSERT_EQ(files.size(), 1u);
	Recording rec;
	std::string error;
	ASSERT_TRUE(ProbeRecording(files[0], rec, error)) << error;
	EXPECT_EQ(rec.video_codec, "h264");
	EXPECT_EQ(rec.audio_codec, "aac");
	EXPECT_EQ(rec.width, 1280u);
	EXPECT_EQ(rec.height, 720u);
	EXPECT_NEAR(rec.frame_rate, 30.0, 1.0);
	EXPECT_GE(rec.distinct_frames, 5u) << "the picture does not move";
	EXPECT_GT(rec.mean_volume_db, -30.0) << "the tone is missing";
	EXPECT_EQ(rec.sample_rate, 48000u);
	EXPECT_EQ(rec.channels, 2u);
	// The software renderer keeps up with a 720p30 canvas.
	EXPECT_LT(frames.lagged, frames.total / 20 + 1);
}

} // namespace
