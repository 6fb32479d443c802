#include "tests/e2e/e2e.h"

#include <obs.hpp>

#include <fstream>
#include <sstream>
#include <thread>

namespace torvane::test {

Recording ProbeRecording(const std::string &path)
{
	Recording rec;
	OBSDataAutoRelease data = obs_data_create_from_json(
		RunCommand({"ffprobe", "-v", "error", "-show_entries",
			    "stream=codec_type,codec_name,profile,width,height,sample_rate,channels", "-of", "json",
			    path})
			.c_str());
	OBSDataArrayAutoRelease streams = data ? obs_data_get_array(data, "streams") : nullptr;
	for (size_t i = 0; streams && i < obs_data_array_count(streams); i++) {
		OBSDataAutoRelease stream = obs_data_array_item(streams, i);
		if (std::string(obs_data_get_string(stream, "codec_type")) == "video") {
			rec.video_codec = obs_data_get_string(stream, "codec_name");
			rec.video_profile = obs_data_get_string(stream, "profile");
			rec.width = static_cast<uint32_t>(obs_data_get_int(stream, "width"));
			rec.height = static_cast<uint32_t>(obs_data_get_int(stream, "height"));
		} else {
			rec.audio_codec = obs_data_get_string(stream, "codec_name");
			rec.sample_rate = static_cast<uint32_t>(std::atoi(obs_data_get_string(stream, "sample_rate")));
			rec.channels = static_cast<uint32_t>(obs_data_get_int(stream, "channels"));
		}
	}

	// The packets tell the true rate, keyframe spacing and bitrate, whatever
	// the container's metadata claims.
	std::istringstream packets(RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
					       "packet=pts_time,size,flags", "-of", "csv=p=0", path}));
	double first = -1, last = -1, bytes = 0, t;
	char comma;
	uint64_t size;
	std::string flags;
	while (packets >> t >> comma >> size >> comma >> flags) {
		rec.longest_gap = first < 0 ? 0 : std::max(rec.longest_gap, t - last);
		first = first < 0 ? t : first;
		last = std::max(last, t);
		bytes += size;
		if (flags.find('K') != std::string::npos) {
			rec.keyframe_packets.push_back(rec.video_packets);
			rec.keyframe_times.push_back(t);
		}
		rec.video_packets++;
	}
	if (rec.video_packets >= 2 && last > first) {
		rec.frame_rate = (rec.video_packets - 1) / (last - first);
		rec.video_kbps = bytes * 8 / (rec.video_packets / rec.frame_rate) / 1000;
	}

	// A picture that stands still for a second, or silence, shows in ffmpeg's detectors.
	std::string detected = RunCommand({"bash", "-c",
					   "ffmpeg -nostats -i \"$1\" -map 0:v -vf freezedetect=n=-50dB:d=1 -f null - "
					   "-map 0:a -af volumedetect -f null - 2>&1",
					   "bash", path});
	rec.frozen = detected.find("freeze_start") != std::string::npos;
	size_t at = detected.find("mean_volume: ");
	if (at != std::string::npos)
		rec.mean_volume_db = std::atof(detected.c_str() + at + 13);
	return rec;
}

bool Session::StartHost(const HostVideo &video)
{
	HostOptions options;
	options.video = video;
	return host_started = StartTestHost(work_dir, options);
}

void Session::TearDown()
{
	engine.StopAndRelease();
	if (host_started)
		StopHeadlessHost();
	std::ifstream file(work_dir + "/obs.log", std::ios::binary);
	ASSERT_TRUE(file) << "no OBS log to look for secrets in";
	const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	for (const Destination &destination : settings.destinations) {
		for (const std::string &secret : {destination.key, destination.password}) {
			EXPECT_TRUE(secret.empty() || log.find(secret) == std::string::npos)
				<< "the secret '" << secret << "' of " << destination.name << " is in OBS's log";
		}
	}
}

std::string Session::Text(uint64_t index) const
{
	DestinationStats stats = engine.GetStats(index);
	return DestinationStateText(stats.state, stats.last_code);
}

std::string Session::Texts() const
{
	std::string texts;
	for (uint64_t i = 0; i < settings.destinations.size(); i++)
		texts += (i ? " / " : "") + Text(i);
	return texts;
}

bool Session::AllSending() const
{
	for (const auto &run : engine.runs)
		if (engine.GetStats(run->destination_index).state != DestinationState::Sending)
			return false;
	return true;
}

} // namespace torvane::test
