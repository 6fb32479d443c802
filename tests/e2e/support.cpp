#include "tests/e2e/support.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <algorithm>
#include <set>
#include <sstream>
#include <thread>

namespace e2e {

bool ProbeRecording(const std::string &path, Recording &recording, std::string &error)
{
	recording = Recording();
	recording.path = path;
	int status = 0;
	std::string json = RunCommand({"ffprobe", "-v", "error", "-show_entries",
				       "stream=codec_type,codec_name,profile,width,height,sample_rate,channels", "-of",
				       "json", path},
				      &status);
	OBSDataAutoRelease data = obs_data_create_from_json(json.c_str());
	OBSDataArrayAutoRelease streams = data ? obs_data_get_array(data, "streams") : nullptr;
	if (status != 0 || !streams) {
		error = "ffprobe cannot read " + path;
		return false;
	}
	for (size_t i = 0; i < obs_data_array_count(streams); i++) {
		OBSDataAutoRelease stream = obs_data_array_item(streams, i);
		std::string type = obs_data_get_string(stream, "codec_type");
		if (type == "video") {
			recording.video_codec = obs_data_get_string(stream, "codec_name");
			recording.video_profile = obs_data_get_string(stream, "profile");
			recording.width = static_cast<uint32_t>(obs_data_get_int(stream, "width"));
			recording.height = static_cast<uint32_t>(obs_data_get_int(stream, "height"));
		} else if (type == "audio") {
			recording.audio_codec = obs_data_get_string(stream, "codec_name");
			recording.sample_rate =
				static_cast<uint32_t>(std::atoi(obs_data_get_string(stream, "sample_rate")));
			recording.channels = static_cast<uint32_t>(obs_data_get_int(stream, "channels"));
		}
	}

	// The packets tell the true rate, the keyframe spacing and the bitrate,
	// whatever the container's metadata claims.
	std::istringstream packets(RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
					       "packet=pts_time,size,flags", "-of", "csv=p=0", path}));
	std::string line;
	double first = -1, last = -1;
	uint64_t bytes = 0;
	while (std::getline(packets, line)) {
		std::istringstream fields(line);
		std::string pts, size, flags;
		if (!std::getline(fields, pts, ',') || !std::getline(fields, size, ',') || !std::getline(fields, flags))
			continue;
		double t = std::atof(pts.c_str());
		if (first < 0)
			first = t;
		else
			recording.longest_gap = std::max(recording.longest_gap, t - last);
		last = std::max(last, t);
		bytes += std::strtoull(size.c_str(), nullptr, 10);
		if (flags.find('K') != std::string::npos) {
			recording.keyframe_times.push_back(t);
			recording.keyframe_packets.push_back(recording.video_packets);
		}
		recording.video_packets++;
	}
	if (recording.video_packets >= 2 && last > first) {
		recording.frame_rate = (recording.video_packets - 1) / (last - first);
		recording.duration = recording.video_packets / recording.frame_rate;
		recording.video_kbps = bytes * 8.0 / recording.duration / 1000.0;
	}

	std::string volume = RunCommand(
		{"bash", "-c", "ffmpeg -hide_banner -nostats -i \"$1\" -map 0:a -af volumedetect -f null - 2>&1",
		 "bash", path});
	size_t at = volume.find("mean_volume: ");
	if (at != std::string::npos)
		recording.mean_volume_db = std::atof(volume.c_str() + at + 13);

	std::istringstream frames(RunCommand(
		{"ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-vf", "fps=2", "-f", "framemd5", "-"}));
	std::set<std::string> hashes;
	while (std::getline(frames, line)) {
		if (line.empty() || line[0] == '#')
			continue;
		size_t comma = line.rfind(',');
		if (comma != std::string::npos)
			hashes.insert(line.substr(comma + 1));
	}
	recording.distinct_frames = static_cast<uint32_t>(hashes.size());
	return true;
}

bool HostSession::Start(const torvane::HostVideo &video, const torvane::HostAudio &audio)
{
	if (work_dir.empty())
		work_dir = TestWorkDir();
	torvane::HostOptions options;
	options.video = video;
	options.audio = audio;
	started = StartTestHost(work_dir, options);
	return started;
}

void HostSession::Stop()
{
	if (started) {
		torvane::engine.StopAndRelease();
		torvane::StopHeadlessHost();
		started = false;
	}
}

torvane::Destination LocalDestination(const std::string &name, uint16_t port, const std::string &key,
				      const std::string &application)
{
	torvane::Destination d;
	d.name = name;
	d.platform = "Custom";
	d.server = "rtmp://127.0.0.1:" + std::to_string(port) + "/" + application;
	d.key = key;
	d.enabled = true;
	return d;
}

torvane::PanelSettings TestSettings(const std::vector<torvane::Destination> &destinations)
{
	torvane::PanelSettings settings;
	settings.bitrate = 2500;
	settings.height = 720;
	settings.fps = 30;
	settings.destinations = destinations;
	return settings;
}

std::string StateText(uint64_t index)
{
	torvane::DestinationStats stats = torvane::engine.GetStats(index);
	return torvane::DestinationStateText(stats.state, stats.last_code);
}

std::vector<std::string> WatchTexts(uint64_t index, const std::function<bool()> &done,
				    std::chrono::milliseconds timeout)
{
	std::vector<std::string> seen;
	auto end = std::chrono::steady_clock::now() + Scaled(timeout);
	for (;;) {
		std::string text = StateText(index);
		if (seen.empty() || seen.back() != text)
			seen.push_back(text);
		if (done() || std::chrono::steady_clock::now() >= end)
			break;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	return seen;
}

bool AllSending(size_t count)
{
	for (size_t i = 0; i < count; i++) {
		if (torvane::engine.GetStats(i).state != torvane::DestinationState::Sending)
			return false;
	}
	return true;
}

} // namespace e2e
