#include "tests/e2e/e2e.h"

#include <fstream>
#include <sstream>

namespace torvane::test {

Recording ProbeRecording(const std::string &path)
{
	Recording rec;
	auto entries = [&](const char *stream, const char *fields) {
		std::string csv = RunCommand({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
					      std::string("stream=") + fields, "-of", "csv=p=0", path});
		return csv.substr(0, csv.find('\n'));
	};
	rec.video = entries("v:0", "codec_name,profile,width,height");
	rec.audio = entries("a:0", "codec_name,sample_rate,channels");

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
	EXPECT_TRUE(settings.relay.key.empty() || log.find(settings.relay.key) == std::string::npos);
	for (const Destination &destination : settings.destinations) {
		for (const std::string &secret : {destination.key, destination.password}) {
			EXPECT_TRUE(secret.empty() || log.find(secret) == std::string::npos)
				<< "the secret '" << secret << "' of " << destination.name << " is in OBS's log";
		}
	}
}

std::string Session::Text(uint64_t index) const
{
	return TextOf(engine, index);
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
