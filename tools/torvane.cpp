// torvane: the multistream engine without OBS's window, for automation,
// servers without a desktop and the end-to-end tests.
//
//   torvane check FILE
//   torvane export-relay FILE DIR
//   torvane stream FILE [--seconds N] [--canvas WxH] [--fps N[/D]] [--audio-rate HZ]
//                       [--speakers LAYOUT] [--colorspace NAME] [--obs-log FILE] [--config-dir DIR]
#include "control/controller.h"
#include "control/relay.h"
#include "engine/engine.h"
#include "settings/document.h"
#include "settings/utf8.h"
#include "settings/validation.h"
#include "tools/headless/host.h"
#include "tools/stream_options.h"
#include "torvane_version.h"

#include <obs.h>
#include <util/platform.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using namespace torvane;

// Exit codes shared by both commands.
constexpr int exit_ok = 0;
constexpr int exit_problem = 1;  // check: the settings cannot start; stream: a destination ended failed
constexpr int exit_document = 2; // the file cannot be read or is not an accepted settings document; bad usage
constexpr int exit_refused = 3;  // stream: StartAll refused
constexpr int exit_host = 4;     // stream: libobs could not be started headless

const char usage[] =
	"usage: torvane --version\n"
	"       torvane check FILE\n"
	"       torvane export-relay FILE DIR\n"
	"       torvane stream FILE [--seconds N] [--canvas WxH] [--fps N[/D]] [--audio-rate HZ]\n"
	"                           [--speakers mono|stereo|2.1|4.0|4.1|5.1|7.1]\n"
	"                           [--colorspace 601|709|srgb|pq|hlg] [--obs-log FILE] [--config-dir DIR]\n"
	"\n"
	"check   prints why the settings cannot start (exit 1) or nothing (exit 0);\n"
	"        a file that is not an accepted settings document exits 2.\n"
	"export-relay  writes the relay's nginx.conf and README.txt into DIR, readable only\n"
	"        by you, and prints where (exit 0) or why not (exit 1).\n"
	"stream  streams a moving test picture with a tone to every enabled destination until\n"
	"        N seconds pass (default: until Ctrl-C), showing the live status: on a terminal\n"
	"        redrawn once a second, into a file or a pipe a line when something changed.\n"
	"        Exits 1 when a destination ended failed, 2 for an unreadable document,\n"
	"        3 when the start is refused and 4 when OBS cannot start without a window.\n";

// The tool's one engine; released before the host stops.
MultistreamEngine multistream;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
	interrupted = 1;
}

// Reads the JSON settings document at `path` as loading does (Kick servers
// completed). False with one sentence when the file or its content is refused.
bool ReadDocument(const std::string &path, PanelSettings &settings, std::string &message)
{
	// stdio, not a stream: a folder opens, and only its read says why it
	// cannot be read.
	std::string text;
	FILE *file = fopen(path.c_str(), "rb");
	if (file) {
		char chunk[65536];
		size_t size;
		while ((size = fread(chunk, 1, sizeof(chunk), file)) > 0)
			text.append(chunk, size);
	}
	const int error = errno;
	const bool read = file && !ferror(file);
	if (file)
		fclose(file);
	if (!read) {
		message = "The settings document " + path + " cannot be read: " + std::strerror(error) + ".";
		return false;
	}
	return SettingsFromData(text.c_str(), settings, message);
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

int RunExportRelay(const std::string &path, const std::string &folder)
{
	PanelSettings settings;
	std::string message;
	if (!ReadDocument(path, settings, message)) {
		printf("%s\n", message.c_str());
		return exit_document;
	}
	const bool written = ExportRelayFiles(settings, Utf8ToWide(folder), message);
	printf("%s\n", message.c_str());
	return written ? exit_ok : exit_problem;
}

// A name as the terminal is given it: a control character (C0, DEL or C1) or
// a byte that is not part of valid UTF-8 becomes U+FFFD, so that no name can
// move the cursor, change colours or clear the screen.
std::string Printable(const std::string &text)
{
	const char replacement[] = "\xEF\xBF\xBD";
	std::string out;
	for (size_t i = 0; i < text.size();) {
		const size_t start = i;
		char32_t code = 0;
		if (!torvane::DecodeUtf8(text, i, code)) {
			out += replacement;
			i++;
		} else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
			out += replacement;
		} else {
			out.append(text, start, i - start);
		}
	}
	return out;
}

// The columns a line may fill on the terminal, 0 when unknown. The last one
// stays free: a character there leaves the cursor on it, and the erase to the
// end of the line that follows would take the character away.
size_t LineColumns()
{
	winsize size = {};
	return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 0;
}

// The first `columns` characters of a UTF-8 line (all of it for 0): a line
// that wrapped would push the block down and leave its old lines behind.
std::string FitLine(const std::string &line, size_t columns)
{
	size_t count = 0;
	for (size_t i = 0; columns && i < line.size(); i++) {
		if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && count++ == columns)
			return line.substr(0, i);
	}
	return line;
}

// The live block, composed as the panel composes its texts. On a terminal it
// is drawn over itself once a second; `whole` starts a block of its own below,
// clear of whatever else was written meanwhile. Into a file or a pipe it is a
// log: a time line and the lines that changed, all of them for `whole`, and
// nothing in a second where nothing did. A log leaves the bitrate out, as it
// moves every second; another reconnect attempt is news.
struct LiveBlock {
	bool terminal = false;
	size_t drawn = 0;              // lines to move up over on a terminal
	std::vector<std::string> news; // per line, what the log last said
};
LiveBlock live;

void PrintLiveStatus(const char *label, const Controller &controller, bool whole = false)
{
	const Snapshot snapshot = TakeSnapshot(controller);
	const std::string output = "  " + snapshot.output_line.text;
	std::vector<std::string> lines = {"[" + std::string(label) + "] " + snapshot.header, output};
	std::vector<std::string> news = {snapshot.header, output};
	for (size_t i = 0; i < snapshot.rows.size(); i++) {
		const RowView &row = snapshot.rows[i];
		const std::string status = "  " + std::to_string(i + 1) + " " +
					   Printable(controller.store.settings.destinations[i].name) + ": " +
					   row.status.text;
		const bool shown =
			!row.figure.empty() && (live.terminal || row.stats.state != DestinationState::Sending);
		lines.push_back(shown ? status + " (" + row.figure + ")" : status);
		news.push_back(status + " " + std::to_string(row.stats.reconnect_attempts));
	}

	if (live.terminal) {
		if (live.drawn && !whole)
			printf("\x1b[%zuA", live.drawn);
		const size_t columns = LineColumns();
		for (const std::string &line : lines)
			printf("%s\x1b[K\n", FitLine(line, columns).c_str());
		live.drawn = lines.size();
	} else {
		// A time line, then what changed since the last one.
		const bool all = whole || live.news.size() != news.size();
		std::string changed;
		for (size_t i = 1; i < lines.size(); i++) {
			if (all || news[i] != live.news[i])
				changed += lines[i] + "\n";
		}
		if (all || !changed.empty() || news[0] != live.news[0])
			printf("%s\n%s", lines[0].c_str(), changed.c_str());
		live.news = news;
	}
	fflush(stdout);
}

bool AnyDestinationFailed(const PanelSettings &settings)
{
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (multistream.GetStats(i).state == DestinationState::Failed)
			return true;
	}
	return false;
}

int RunStream(const StreamOptions &options)
{
	SettingsStore store;
	store.load_attempted = true;
	PanelSettings &settings = store.settings;
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

	// The same start as the panel's, without writing the document anywhere.
	Controller controller(store, multistream, nullptr, HostVideoInfo);
	controller.writes_settings = false;
	const Outcome start = StartAll(controller);
	if (!start.Ok()) {
		printf("%s\n", start.sentence.c_str());
		// A start in which no output could start keeps its failed runs: show them once.
		if (!multistream.runs.empty())
			PrintLiveStatus("refused", controller);
		multistream.StopAndRelease();
		StopHeadlessHost();
		return exit_refused;
	}

	printf("%s\n", start.sentence.c_str());
	live.terminal = isatty(STDOUT_FILENO);
	multistream.SampleThroughput();
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
			Tick(controller);
			PrintLiveStatus(label, controller);
			next_print += 1000000000ULL;
		}
		// Every destination has failed or ended: nothing is left to watch.
		if (!multistream.IsBusy())
			break;
	}

	StopAll(controller);
	PrintLiveStatus("stop", controller);
	// A force stop raises "stop" at once; the bound only guards against an
	// output that never reports.
	uint64_t stop_deadline = os_gettime_ns() + 15000000000ULL;
	while (multistream.IsBusy() && os_gettime_ns() < stop_deadline)
		os_sleep_ms(20);
	PrintLiveStatus("stopped", controller, true);
	bool failed = AnyDestinationFailed(settings);
	bool settled = !multistream.IsBusy();
	multistream.StopAndRelease();
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
	if (argc == 2 && !strcmp(argv[1], "--version")) {
		printf("torvane %s\n", torvane_version);
		return exit_ok;
	}
	if (argc >= 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
		fputs(usage, stdout);
		return exit_ok;
	}
	if (argc == 3 && !strcmp(argv[1], "check"))
		return RunCheck(argv[2]);
	if (argc == 4 && !strcmp(argv[1], "export-relay"))
		return RunExportRelay(argv[2], argv[3]);
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
