// torvane: the multistream engine without OBS's window, for automation,
// servers without a desktop and the end-to-end tests.
//
//   torvane check FILE
//   torvane stream FILE [--seconds N] [--canvas WxH] [--fps N[/D]] [--audio-rate HZ]
//                       [--speakers LAYOUT] [--colorspace NAME] [--obs-log FILE] [--config-dir DIR]
#include "engine/engine.h"
#include "panel/live_status.h"
#include "settings/document.h"
#include "settings/validation.h"
#include "tools/headless/headless_host.h"

#include <obs.h>
#include <util/platform.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace torvane;

// Exit codes shared by both commands.
constexpr int exit_ok = 0;
constexpr int exit_problem = 1;  // check: the settings cannot start; stream: a destination ended failed
constexpr int exit_document = 2; // the file cannot be read or is not an accepted settings document; bad usage
constexpr int exit_refused = 3;  // stream: StartAll refused
constexpr int exit_host = 4;     // stream: libobs could not be started headless

const char usage[] =
	"usage: torvane check FILE\n"
	"       torvane stream FILE [--seconds N] [--canvas WxH] [--fps N[/D]] [--audio-rate HZ]\n"
	"                           [--speakers mono|stereo|2.1|4.0|4.1|5.1|7.1]\n"
	"                           [--colorspace 601|709|srgb|pq|hlg] [--obs-log FILE] [--config-dir DIR]\n"
	"\n"
	"check   prints why the settings cannot start (exit 1) or nothing (exit 0);\n"
	"        a file that is not an accepted settings document exits 2.\n"
	"stream  streams a moving test picture with a tone to every enabled destination until\n"
	"        N seconds pass (default: until Ctrl-C), printing the live status once a second.\n"
	"        Exits 1 when a destination ended failed, 2 for an unreadable document,\n"
	"        3 when the start is refused and 4 when OBS cannot start without a window.\n";

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
	interrupted = 1;
}

// Reads the JSON settings document at `path` as loading does (Kick servers
// completed). False with one sentence when the file or its content is refused.
bool ReadDocument(const std::string &path, PanelSettings &settings, std::string &message)
{
	std::ifstream file(path, std::ios::binary);
	if (!file) {
		message = "The settings document " + path + " cannot be read: " + std::strerror(errno) + ".";
		return false;
	}
	std::ostringstream text;
	text << file.rdbuf();
	if (file.bad()) {
		message = "The settings document " + path + " cannot be read.";
		return false;
	}
	return SettingsFromData(text.str().c_str(), settings, message);
}

int RunCheck(const std::string &path)
{
	PanelSettings settings;
	std::string message;
	if (!ReadDocument(path, settings, message)) {
		printf("%s\n", message.c_str());
		return exit_document;
	}
	std::string problem = ValidateSettings(settings);
	if (!problem.empty()) {
		printf("%s\n", problem.c_str());
		return exit_problem;
	}
	return exit_ok;
}

struct StreamOptions {
	std::string path;
	double seconds = 0; // 0: until interrupted
	HostOptions host;
};

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

// Parses the arguments after "stream". False with one sentence on bad usage.
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

// One block of live lines, composed exactly as the panel composes them.
void PrintLiveStatus(const char *label, const PanelSettings &settings)
{
	obs_video_info ovi = {};
	bool has_video = obs_get_video_info(&ovi);
	StatusLine output = ActualOutputLine(settings, has_video ? &ovi : nullptr);
	printf("[%s] %s\n", label, HeaderCountText(settings, engine).c_str());
	printf("  %s\n", output.text.c_str());
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		StatusLine line = DestinationStatusLine(settings.destinations[i], engine.GetStats(i));
		printf("  %zu %s: %s\n", i + 1, settings.destinations[i].name.c_str(), line.text.c_str());
	}
	fflush(stdout);
}

bool AnyDestinationFailed(const PanelSettings &settings)
{
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (engine.GetStats(i).state == static_cast<uint32_t>(DestinationState::Failed))
			return true;
	}
	return false;
}

int RunStream(const StreamOptions &options)
{
	PanelSettings settings;
	std::string message;
	if (!ReadDocument(options.path, settings, message)) {
		printf("%s\n", message.c_str());
		return exit_document;
	}

	struct sigaction action = {};
	action.sa_handler = OnInterrupt;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	if (!StartHeadlessHost(options.host, message)) {
		printf("%s\n", message.c_str());
		return exit_host;
	}

	if (!engine.StartAll(settings, message)) {
		printf("%s\n", message.c_str());
		// A start in which no output could start keeps its failed runs: show them once.
		if (!engine.runs.empty())
			PrintLiveStatus("refused", settings);
		engine.StopAndRelease();
		StopHeadlessHost();
		return exit_refused;
	}

	uint64_t started = os_gettime_ns();
	uint64_t deadline = started + static_cast<uint64_t>(options.seconds * 1e9);
	uint64_t next_print = started + 1000000000ULL;
	while (!interrupted && (options.seconds <= 0 || os_gettime_ns() < deadline)) {
		os_sleep_ms(50);
		uint64_t now = os_gettime_ns();
		if (now >= next_print) {
			char label[32];
			snprintf(label, sizeof(label), "%4llu s",
				 (unsigned long long)((now - started) / 1000000000ULL));
			PrintLiveStatus(label, settings);
			next_print += 1000000000ULL;
		}
		// Every destination has failed or ended: nothing is left to watch.
		if (!engine.IsBusy())
			break;
	}

	engine.RequestStopAll();
	PrintLiveStatus("stop", settings);
	// A force stop raises "stop" at once; the bound only guards against an
	// output that never reports.
	uint64_t stop_deadline = os_gettime_ns() + 15000000000ULL;
	while (engine.IsBusy() && os_gettime_ns() < stop_deadline)
		os_sleep_ms(20);
	PrintLiveStatus("stopped", settings);
	bool failed = AnyDestinationFailed(settings);
	bool settled = !engine.IsBusy();
	engine.StopAndRelease();
	StopHeadlessHost();
	if (!settled) {
		printf("A destination did not stop within 15 seconds.\n");
		return exit_problem;
	}
	return failed ? exit_problem : exit_ok;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc >= 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
		fputs(usage, stdout);
		return exit_ok;
	}
	if (argc == 3 && !strcmp(argv[1], "check"))
		return RunCheck(argv[2]);
	if (argc >= 3 && !strcmp(argv[1], "stream")) {
		StreamOptions options;
		options.host.private_display = true;
		std::string error;
		if (!ParseStreamOptions(argc - 2, argv + 2, options, error)) {
			fprintf(stderr, "%s\n", error.c_str());
			return exit_document;
		}
		return RunStream(options);
	}
	fputs(usage, stderr);
	return exit_document;
}
