#pragma once

#include <obs.h>

#include <cstdint>
#include <string>
#include <vector>

// libobs without a window: an X display for the EGL renderer, only the stock
// modules a multistream needs, and a program output that shows a moving test
// picture with a steady tone. The torvane tool, the benchmark and the tests
// all start libobs through it. One host per process; every call comes from
// the thread that started it.
namespace torvane {

struct HostVideo {
	uint32_t width = 1280; // canvas and host output size
	uint32_t height = 720;
	uint32_t fps_num = 30;
	uint32_t fps_den = 1;
	video_colorspace colorspace = VIDEO_CS_709;
	video_format format = VIDEO_FORMAT_NV12; // the host's output format
};

struct HostAudio {
	uint32_t samples_per_sec = 48000;
	speaker_layout speakers = SPEAKERS_STEREO;
};

struct HostOptions {
	HostVideo video;
	HostAudio audio;
	// OBS's stock modules to load; image-source draws the test picture.
	std::vector<std::string> modules = {"obs-x264", "obs-ffmpeg", "obs-outputs", "rtmp-services", "image-source"};
	// Where modules keep their configuration; empty gives a private folder
	// under the temporary directory that is removed again at shutdown.
	std::string config_dir;
	// libobs's own log; empty discards it.
	std::string log_path;
	// Without DISPLAY, start a private Xvfb for the renderer (and stop it at
	// shutdown) instead of failing.
	bool private_display = false;
};

// Starts libobs, loads the modules, resets video and audio and puts the test
// picture and tone on the program output. False with one sentence in `error`
// when any step fails; the host is then shut down again.
bool StartHeadlessHost(const HostOptions &options, std::string &error);

// Changes the host's video or audio the way OBS's settings dialog does; the
// same settings again change nothing. Both fail while an output or encoder
// uses the host's mix.
bool ResetHostVideo(const HostVideo &video, std::string &error);
bool ResetHostAudio(const HostAudio &audio, std::string &error);

// Removes the test signal, shuts libobs down and closes the display. Safe to
// call when nothing was started.
void StopHeadlessHost();

// Frames the host's video thread has produced and skipped since start: the
// renderer falling behind shows up here rather than in an output.
struct HostFrameCounts {
	uint32_t total = 0;
	uint32_t lagged = 0;
};
HostFrameCounts GetHostFrameCounts();

} // namespace torvane
