#pragma once

// What the end-to-end tests stand on besides the shared test support:
// ffprobe's view of what a server recorded and the host around the engine.
#include "engine/engine.h"
#include "settings/model.h"
#include "tests/support/host.h"
#include "tests/support/servers.h"
#include "tests/support/system.h"
#include "tools/headless/host.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

using namespace torvane::test;

// ffprobe's view of one recording.
struct Recording {
	std::string path;
	std::string video_codec, video_profile, audio_codec;
	uint32_t width = 0, height = 0;
	double frame_rate = 0; // average, frames per second
	uint32_t sample_rate = 0, channels = 0;
	double duration = 0;    // seconds, from the video packets
	double longest_gap = 0; // seconds between two video packets
	uint64_t video_packets = 0;
	std::vector<double> keyframe_times;     // seconds
	std::vector<uint64_t> keyframe_packets; // positions among the video packets
	double video_kbps = 0;                  // from the packet sizes
	double mean_volume_db = -200;           // the audio's loudness
	uint32_t distinct_frames = 0;           // among frames sampled twice a second
};

bool ProbeRecording(const std::string &path, Recording &recording, std::string &error);

// Everything a streaming test needs around the engine: a work folder and the
// headless host. Stops the engine and the host in its destructor.
struct HostSession {
	std::string work_dir;
	bool started = false;

	bool Start(const torvane::HostVideo &video = torvane::HostVideo(),
		   const torvane::HostAudio &audio = torvane::HostAudio());
	void Stop();
	~HostSession() { Stop(); }
};

// A custom destination streaming to rtmp://127.0.0.1:PORT/APP with `key`.
torvane::Destination LocalDestination(const std::string &name, uint16_t port, const std::string &key,
				      const std::string &application = "app");

// The settings a test streams: 720p, 30 fps, 2500 kbps unless changed.
torvane::PanelSettings TestSettings(const std::vector<torvane::Destination> &destinations);

// The display text of destination i's current state, as the panel shows it.
std::string StateText(uint64_t index);

// Records every distinct text destination `index` shows while `done` is false
// (checked every 20 ms, up to `timeout`), in order of appearance.
std::vector<std::string> WatchTexts(uint64_t index, const std::function<bool()> &done,
				    std::chrono::milliseconds timeout);

bool AllSending(size_t count);

} // namespace e2e
