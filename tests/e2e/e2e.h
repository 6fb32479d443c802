#pragma once

// What the end-to-end tests share: ffprobe's view of a server's recording and
// a fixture with the host, the engine and the settings a test streams.
#include "engine/engine.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/servers.h"
#include "tests/support/system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace torvane::test {

struct Recording {
	std::string video;      // "codec,profile,width,height", as ffprobe lists them
	std::string audio;      // "codec,sample rate,channels"
	double frame_rate = 0;  // from the video packets' times
	double longest_gap = 0; // seconds between two video packets
	double video_kbps = 0;  // from the packet sizes
	uint64_t video_packets = 0;
	std::vector<uint64_t> keyframe_packets; // positions among the video packets
	std::vector<double> keyframe_times;     // seconds
	double mean_volume_db = -200;
	bool frozen = false; // the picture stood still for a second
};

Recording ProbeRecording(const std::string &path);

// The host starts in the test's own work folder; at the end the engine is
// released before the host stops, and no key or password of `settings` may
// be found in OBS's log.
class Session : public testing::Test {
protected:
	std::string work_dir = TestWorkDir();
	MultistreamEngine engine;
	PanelSettings settings;
	bool host_started = false;

	bool StartHost(const HostVideo &video);
	void TearDown() override;

	std::string Text(uint64_t index) const;
	std::string Texts() const; // every destination's, joined by " / "
	bool AllSending() const;   // every run's record
	int Frames(size_t run) const { return obs_output_get_total_frames(engine.runs[run]->output); }
};

} // namespace torvane::test
