#include "tools/stream_options.h"

#include <cstdlib>

namespace torvane {
namespace {

bool ParseNumber(const std::string &text, uint32_t &value)
{
	if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
		return false;
	value = static_cast<uint32_t>(std::stoul(text));
	return true;
}

// "1280x720": both 2 to 16384, even.
bool ParseCanvasSize(const std::string &text, uint32_t &width, uint32_t &height)
{
	size_t x = text.find('x');
	uint32_t w = 0, h = 0;
	if (x == std::string::npos || !ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1), h))
		return false;
	if (w < 2 || h < 2 || w > 16384 || h > 16384 || w % 2 || h % 2)
		return false;
	width = w;
	height = h;
	return true;
}

// "30", "60" or a fraction such as "30000/1001".
bool ParseFrameRate(const std::string &text, uint32_t &num, uint32_t &den)
{
	size_t slash = text.find('/');
	uint32_t n = 0, d = 1;
	if (!ParseNumber(text.substr(0, slash), n))
		return false;
	if (slash != std::string::npos && !ParseNumber(text.substr(slash + 1), d))
		return false;
	if (n == 0 || d == 0 || n / d > 240)
		return false;
	num = n;
	den = d;
	return true;
}

bool ParseSpeakers(const std::string &text, speaker_layout &speakers)
{
	static const struct {
		const char *name;
		speaker_layout layout;
	} layouts[] = {{"mono", SPEAKERS_MONO},   {"stereo", SPEAKERS_STEREO}, {"2.1", SPEAKERS_2POINT1},
		       {"4.0", SPEAKERS_4POINT0}, {"4.1", SPEAKERS_4POINT1},   {"5.1", SPEAKERS_5POINT1},
		       {"7.1", SPEAKERS_7POINT1}};
	for (const auto &layout : layouts) {
		if (text == layout.name) {
			speakers = layout.layout;
			return true;
		}
	}
	return false;
}

bool ParseColorspace(const std::string &text, video_colorspace &colorspace)
{
	static const struct {
		const char *name;
		video_colorspace space;
	} spaces[] = {{"601", VIDEO_CS_601},
		      {"709", VIDEO_CS_709},
		      {"srgb", VIDEO_CS_SRGB},
		      {"pq", VIDEO_CS_2100_PQ},
		      {"hlg", VIDEO_CS_2100_HLG}};
	for (const auto &space : spaces) {
		if (text == space.name) {
			colorspace = space.space;
			return true;
		}
	}
	return false;
}

} // namespace

bool ParseStreamOptions(int argc, char **argv, StreamOptions &options, std::string &error)
{
	for (int i = 0; i < argc; i++) {
		std::string arg = argv[i];
		if (arg.rfind("--", 0) != 0) {
			if (!options.path.empty()) {
				error = "Only one settings document can be streamed: " + arg + " is one too many.";
				return false;
			}
			options.path = arg;
			continue;
		}
		if (i + 1 >= argc) {
			error = "The option " + arg + " needs a value.";
			return false;
		}
		std::string value = argv[++i];
		bool ok = true;
		if (arg == "--seconds") {
			char *end = nullptr;
			options.seconds = std::strtod(value.c_str(), &end);
			ok = end && *end == '\0' && options.seconds > 0 && options.seconds <= 86400 * 7;
		} else if (arg == "--canvas") {
			ok = ParseCanvasSize(value, options.host.video.width, options.host.video.height);
		} else if (arg == "--fps") {
			ok = ParseFrameRate(value, options.host.video.fps_num, options.host.video.fps_den);
		} else if (arg == "--audio-rate") {
			ok = value == "44100" || value == "48000" || value == "96000";
			if (ok)
				options.host.audio.samples_per_sec = static_cast<uint32_t>(std::stoul(value));
		} else if (arg == "--speakers") {
			ok = ParseSpeakers(value, options.host.audio.speakers);
		} else if (arg == "--colorspace") {
			ok = ParseColorspace(value, options.host.video.colorspace);
		} else if (arg == "--obs-log") {
			options.host.log_path = value;
		} else if (arg == "--config-dir") {
			options.host.config_dir = value;
		} else {
			error = "Unknown option " + arg + ".";
			return false;
		}
		if (!ok) {
			error = "The value " + value + " is not valid for " + arg + ".";
			return false;
		}
	}
	if (options.path.empty()) {
		error = "Name the settings document to stream.";
		return false;
	}
	return true;
}

} // namespace torvane
