#pragma once

#include <obs.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

// A real libobs, started once per test process without a window: the stock
// x264, FFmpeg, RTMP output and RTMP service modules on an EGL/X11 context of
// the display the launcher script provides.
namespace torvane::test {

// The stock modules this test program loads, defined once per program so that
// a program can leave some out.
std::vector<const char *> HostModules();

struct HostVideo {
	uint32_t width = 1920;
	uint32_t height = 1080;
	uint32_t fps_num = 60;
	uint32_t fps_den = 1;
	video_format format = VIDEO_FORMAT_NV12;
	video_colorspace colorspace = VIDEO_CS_709;
};

struct HostAudio {
	uint32_t samples_per_sec = 48000;
	speaker_layout speakers = SPEAKERS_STEREO;
};

// Puts the host's video or audio into this state; a no-op when it is already
// there. Only possible while no output or encoder of a test is alive.
void ResetHostVideo(const HostVideo &video);
void ResetHostAudio(const HostAudio &audio);

// Each test starts from the default 1920 x 1080 at 60 fps, 48 kHz stereo host.
class ObsHostTest : public testing::Test {
protected:
	void SetUp() override;
};

// Polls `done` on this thread until it holds or `timeout` has passed.
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Raises one of an output's signals from another thread, as the output's own
// threads do. With `code`, the call data carries it as the integer "code".
void EmitFromOtherThread(obs_output_t *output, const char *signal);
void EmitFromOtherThread(obs_output_t *output, const char *signal, long long code);

// A loopback TCP port nobody listens on.
int ClosedLoopbackPort();

} // namespace torvane::test
