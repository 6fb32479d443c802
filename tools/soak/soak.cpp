// torvane_soak: streams a small picture through the engine to local nginx
// RTMP servers for a long while, one of them behind the TLS front and one
// behind the soak's own relay, while a seeded schedule hurts them one at a
// time; then stops everything, reads the servers' recordings and judges.
//
//   torvane_soak --work DIR --seconds N --destinations N --seed S --port-base P
//
// scripts/soak.sh writes the servers' configurations: DIR/server-I for
// destination I on port P+I, DIR/tls for the TLS front on P+50 in front of
// server 3 (certificate for soak.test), and runs this with that authority
// trusted. The relay listens on P+60 in front of server 5.
#include "engine/engine.h"
#include "tools/headless/host.h"
#include "tools/soak/judge.h"
#include "tools/soak/processes.h"
#include "tools/soak/relay.h"

#include <obs.h>
#include <util/bmem.h>

#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace torvane;
using namespace torvane::soak;
using Clock = std::chrono::steady_clock;

// What the soak asks of the engine.
constexpr double settle_limit = 15.0;  // threads and descriptors back to their start after an outage
constexpr double overtime = 90;        // past the end, for the last outage to recover and settle
constexpr int cap_kbit = 600;          // below the 1000 + 160 kbps the stream needs
constexpr int output_timeout = 30;     // librtmp's socket timeout
constexpr double idle_publisher = 5.0; // the servers drop a silent publisher after this (soak.sh)

// The one fault each destination suffers, by position; the last is never hurt.
enum class Role { Kill, Stop, Tls, Cap, Relay, Clean };
const char *const role_names[] = {"kill", "sigstop", "tls", "tbf cap", "relay", "none"};

enum class Kind { ServerKill, ServerStop, TlsRestart, BandwidthCap, RelayDelay, RelayStall, RelayCut };

struct Fault {
	Kind kind;
	size_t destination;
	double pause;    // calm seconds before it
	double duration; // until it is undone
	int amount = 0;  // relay delay in ms
};

struct Options {
	std::string work;
	double seconds = 600;
	size_t destinations = 8;
	uint32_t seed = 1;
	int port_base = 19500;
};

// Signals the soak follows beside the engine's own handlers.
struct Watch {
	std::atomic<int> reconnects{0};      // "reconnect_success"
	std::atomic<int> announced_delay{0}; // timeout_sec of the last "reconnect"
	std::array<OBSSignal, 2> handlers;
};

struct Target {
	Role role = Role::Clean;
	Server server;
	DestinationState state = DestinationState::Ready;
	double sending_seconds = 0;
	int outages = 0;
	int dropped_before = 0, dropped_now = 0; // across the output's restarts of its counter
	std::string final_text;
};

MultistreamEngine multistream;
Clock::time_point t0;
std::vector<std::string> failures;

double Now()
{
	return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Log(const char *format, ...)
{
	char text[1024];
	va_list args;
	va_start(args, format);
	vsnprintf(text, sizeof(text), format, args);
	va_end(args);
	printf("[%7.1f s] %s\n", Now(), text);
	fflush(stdout);
}

void Fail(const std::string &reason)
{
	if (std::find(failures.begin(), failures.end(), reason) == failures.end())
		failures.push_back(reason);
	Log("FAILED: %s", reason.c_str());
}

void OnReconnect(void *data, calldata_t *params)
{
	long long timeout = 0;
	calldata_get_int(params, "timeout_sec", &timeout);
	static_cast<Watch *>(data)->announced_delay = static_cast<int>(timeout);
}

void OnReconnected(void *data, calldata_t *)
{
	static_cast<Watch *>(data)->reconnects++;
}

Role RoleOf(size_t index, size_t count)
{
	return index < std::min<size_t>(count - 1, 5) ? static_cast<Role>(index) : Role::Clean;
}

std::vector<Fault> MakeSchedule(uint32_t seed, const std::vector<Target> &destinations)
{
	std::vector<Kind> kinds;
	size_t of_role[6] = {};
	for (size_t i = 0; i < destinations.size(); i++)
		of_role[static_cast<int>(destinations[i].role)] = i;
	for (size_t i = 0; i < destinations.size(); i++) {
		switch (destinations[i].role) {
		case Role::Kill:
			kinds.push_back(Kind::ServerKill);
			break;
		case Role::Stop:
			kinds.push_back(Kind::ServerStop);
			break;
		case Role::Tls:
			kinds.push_back(Kind::TlsRestart);
			break;
		case Role::Cap:
			kinds.push_back(Kind::BandwidthCap);
			break;
		case Role::Relay:
			kinds.insert(kinds.end(), {Kind::RelayDelay, Kind::RelayStall, Kind::RelayCut});
			break;
		case Role::Clean:
			break;
		}
	}
	std::mt19937 random(seed);
	auto between = [&random](double low, double high) {
		return std::round(std::uniform_real_distribution<double>(low, high)(random) * 10) / 10;
	};
	std::vector<Fault> schedule;
	for (int i = 0; i < 2000 && !kinds.empty(); i++) {
		Fault f{kinds[std::uniform_int_distribution<size_t>(0, kinds.size() - 1)(random)], 0, between(3, 12),
			0};
		switch (f.kind) {
		case Kind::ServerKill:
			f.destination = of_role[int(Role::Kill)], f.duration = between(2, 12);
			break;
		case Kind::ServerStop:
			f.destination = of_role[int(Role::Stop)],
			f.duration = between(output_timeout + 2, output_timeout + 10);
			break;
		case Kind::TlsRestart:
			f.destination = of_role[int(Role::Tls)], f.duration = between(0.5, 4);
			break;
		case Kind::BandwidthCap:
			f.destination = of_role[int(Role::Cap)], f.duration = between(8, 20);
			break;
		case Kind::RelayDelay:
			f.destination = of_role[int(Role::Relay)], f.duration = between(8, 20);
			f.amount = static_cast<int>(between(2, 15)) * 100;
			break;
		case Kind::RelayStall:
			f.destination = of_role[int(Role::Relay)], f.duration = between(2, 8);
			break;
		case Kind::RelayCut:
			f.destination = of_role[int(Role::Relay)], f.duration = 0;
			break;
		}
		schedule.push_back(f);
	}
	return schedule;
}

std::string Describe(const Fault &f)
{
	char text[160];
	switch (f.kind) {
	case Kind::ServerKill:
		snprintf(text, sizeof(text), "server %zu killed, restarted after %.1f s", f.destination + 1,
			 f.duration);
		break;
	case Kind::ServerStop:
		snprintf(text, sizeof(text), "server %zu stopped (SIGSTOP) for %.1f s", f.destination + 1, f.duration);
		break;
	case Kind::TlsRestart:
		snprintf(text, sizeof(text), "TLS front of %zu restarted after %.1f s", f.destination + 1, f.duration);
		break;
	case Kind::BandwidthCap:
		snprintf(text, sizeof(text), "%zu capped to %d kbit/s (tbf) for %.1f s", f.destination + 1, cap_kbit,
			 f.duration);
		break;
	case Kind::RelayDelay:
		snprintf(text, sizeof(text), "relay of %zu delays %d ms for %.1f s", f.destination + 1, f.amount,
			 f.duration);
		break;
	case Kind::RelayStall:
		snprintf(text, sizeof(text), "relay of %zu stalls for %.1f s", f.destination + 1, f.duration);
		break;
	case Kind::RelayCut:
		snprintf(text, sizeof(text), "relay of %zu cuts its connections", f.destination + 1);
		break;
	}
	return text;
}

// The soak's servers, front, relay and traffic shaping.
struct Stage {
	Options options;
	std::vector<Target> destinations;
	Server tls;
	Relay relay;

	std::string Tc(std::vector<std::string> args)
	{
		args.insert(args.begin(), "tc");
		return RunCommand(args, options.work + "/tc.log") == 0 ? "" : "tc " + args[1] + " failed (see tc.log)";
	}

	// Traffic to the capped destination's server goes through its own class,
	// whose queue becomes a token bucket while the cap is on.
	bool PrepareCap(std::string &error)
	{
		for (size_t i = 0; i < destinations.size(); i++) {
			if (destinations[i].role != Role::Cap)
				continue;
			const std::string port = std::to_string(destinations[i].server.port);
			for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
				     {"qdisc", "add", "dev", "lo", "root", "handle", "1:", "htb", "default", "1"},
				     {"class", "add", "dev", "lo", "parent", "1:", "classid", "1:1", "htb", "rate",
				      "10gbit"},
				     {"class", "add", "dev", "lo", "parent", "1:", "classid", "1:2", "htb", "rate",
				      "10gbit"},
				     {"filter", "add", "dev", "lo", "parent", "1:", "protocol", "ip", "u32", "match",
				      "ip", "dport", port, "0xffff", "flowid", "1:2"}}) {
				error = Tc(args);
				if (!error.empty())
					return false;
			}
		}
		return true;
	}

	bool Inject(const Fault &f)
	{
		Server &server = destinations[f.destination].server;
		std::string error;
		switch (f.kind) {
		case Kind::ServerKill:
			EndProcess(server.pid, SIGKILL, 1);
			break;
		case Kind::ServerStop:
			return kill(server.pid, SIGSTOP) == 0;
		case Kind::TlsRestart:
			EndProcess(tls.pid, SIGTERM, 2);
			break;
		case Kind::BandwidthCap:
			error = Tc({"qdisc", "replace", "dev", "lo", "parent", "1:2", "handle", "20:", "tbf", "rate",
				    std::to_string(cap_kbit) + "kbit", "burst", "16kb", "latency", "400ms"});
			break;
		case Kind::RelayDelay:
			return SendRelay(relay, "delay " + std::to_string(f.amount));
		case Kind::RelayStall:
			return SendRelay(relay, "stall");
		case Kind::RelayCut:
			return SendRelay(relay, "cut");
		}
		return error.empty();
	}

	bool Restore(const Fault &f)
	{
		Server &server = destinations[f.destination].server;
		switch (f.kind) {
		case Kind::ServerKill:
			return StartServer(server);
		case Kind::ServerStop:
			return kill(server.pid, SIGCONT) == 0;
		case Kind::TlsRestart:
			return StartServer(tls);
		case Kind::BandwidthCap:
			return Tc({"qdisc", "del", "dev", "lo", "parent", "1:2", "handle", "20:"}).empty();
		case Kind::RelayDelay:
			return SendRelay(relay, "delay 0");
		case Kind::RelayStall:
			return SendRelay(relay, "flow");
		case Kind::RelayCut:
			return true;
		}
		return false;
	}

	void StopServers()
	{
		EndProcess(tls.pid, SIGTERM, 5);
		for (Target &d : destinations)
			EndProcess(d.server.pid, SIGQUIT, 10); // graceful: recordings are finished
		StopRelay(relay);
	}
};

// The video packets of every recording a server made, in the order they
// were made (nginx puts the start second in each file's name).
std::vector<Recording> ReadRecordings(const std::string &dir)
{
	namespace fs = std::filesystem;
	std::vector<std::string> files;
	std::error_code ec;
	for (const fs::directory_entry &entry : fs::directory_iterator(dir + "/rec", ec))
		if (entry.path().extension() == ".flv")
			files.push_back(entry.path().string());
	std::sort(files.begin(), files.end());
	std::vector<Recording> recordings;
	for (const std::string &file : files) {
		const std::string name = fs::path(file).stem().string();
		Recording &r = recordings.emplace_back();
		r.started = std::atof(name.substr(name.rfind('-') + 1).c_str());
		const std::string command = "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
					    "-of csv=p=0 '" +
					    file + "' 2>/dev/null";
		FILE *probe = popen(command.c_str(), "r");
		if (!probe)
			continue;
		std::vector<double> times;
		char line[64];
		while (fgets(line, sizeof(line), probe))
			if (line[0] >= '0' && line[0] <= '9')
				times.push_back(std::atof(line));
		r.readable = pclose(probe) == 0;
		std::sort(times.begin(), times.end());
		r.packets = times.size();
		if (times.empty())
			continue;
		r.first = times.front(), r.last = times.back();
		for (size_t i = 1; i < times.size(); i++)
			r.longest_gap = std::max(r.longest_gap, times[i] - times[i - 1]);
	}
	return recordings;
}

bool ParseOptions(int argc, char **argv, Options &options)
{
	for (int i = 1; i + 1 < argc; i += 2) {
		const std::string name = argv[i], value = argv[i + 1];
		if (name == "--work")
			options.work = value;
		else if (name == "--seconds")
			options.seconds = std::atof(value.c_str());
		else if (name == "--destinations")
			options.destinations = std::strtoul(value.c_str(), nullptr, 10);
		else if (name == "--seed")
			options.seed = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
		else if (name == "--port-base")
			options.port_base = std::atoi(value.c_str());
		else
			return false;
	}
	return argc % 2 == 1 && !options.work.empty() && options.seconds >= 30 && options.destinations >= 2 &&
	       options.destinations <= 40;
}

std::string Mmss(double seconds)
{
	char text[32];
	snprintf(text, sizeof(text), "%dm%02ds", static_cast<int>(seconds) / 60, static_cast<int>(seconds) % 60);
	return text;
}

// Resident memory once the allocator has handed back the free memory it keeps
// in the arenas of threads that came and went with the connections: what is
// left grows only with memory still in use.
long LiveResidentKib()
{
	malloc_trim(0);
	return MeasureFootprint().resident_kib;
}

bool AllSending(const std::vector<Target> &destinations)
{
	return std::all_of(destinations.begin(), destinations.end(),
			   [](const Target &d) { return d.state == DestinationState::Sending; });
}

// One soak run: the stage, the engine's signals and what is seen of them.
struct Run {
	Stage stage;
	int relay_port = 0;
	bool has_tls = false, has_relay = false;
	PanelSettings settings;
	std::vector<Watch> watches;
	Timeline timeline;
	double last_poll = 0;
	double started = 0;
	Footprint at_start;
	double all_ready = -1; // seconds from "Stop all" until every destination was Ready
};

// Each destination's server, port and role, and where the TLS front and relay listen.
void Arrange(Run &run, const Options &options)
{
	Stage &stage = run.stage;
	stage.options = options;
	stage.destinations.resize(options.destinations);
	for (size_t i = 0; i < options.destinations; i++) {
		Target &d = stage.destinations[i];
		d.role = RoleOf(i, options.destinations);
		d.server.dir = options.work + "/server-" + std::to_string(i + 1);
		d.server.port = options.port_base + static_cast<int>(i) + 1;
	}
	run.has_tls = options.destinations > 3, run.has_relay = options.destinations > 5;
	stage.tls.dir = options.work + "/tls";
	stage.tls.port = options.port_base + 50;
	run.relay_port = options.port_base + 60;
}

// The relay, the traffic shaping, the servers and the TLS front; false with
// the reason when one of them could not be set up.
bool SetUpStage(Run &run, std::string &error)
{
	Stage &stage = run.stage;
	// Forked first, while this process has a single thread.
	if (run.has_relay && !StartRelay(run.relay_port, stage.destinations[4].server.port, stage.relay, error))
		return false;
	if (!stage.PrepareCap(error)) {
		error = "no bandwidth cap: " + error;
		return false;
	}
	for (Target &d : stage.destinations)
		if (!StartServer(d.server) || !WaitPort(d.server.port, 10)) {
			error = "server " + d.server.dir + " did not start";
			return false;
		}
	if (run.has_tls && (!StartServer(stage.tls) || !WaitPort(stage.tls.port, 10))) {
		error = "the TLS front did not start";
		return false;
	}
	return true;
}

// The panel's settings for the run: one destination per server, through the
// TLS front or the relay where its role says so.
PanelSettings MakeSettings(const Run &run)
{
	PanelSettings settings;
	settings.bitrate = 1000;
	settings.height = 720; // the 640 x 360 canvas is never enlarged
	settings.fps = 30;
	for (size_t i = 0; i < run.stage.destinations.size(); i++) {
		const Target &target = run.stage.destinations[i];
		torvane::Destination d;
		d.name = "Soak " + std::to_string(i + 1);
		d.platform = "Custom";
		int port = target.server.port;
		std::string scheme = "rtmp", host = "127.0.0.1";
		if (target.role == Role::Tls)
			scheme = "rtmps", host = "soak.test", port = run.stage.tls.port;
		if (target.role == Role::Relay)
			port = run.relay_port;
		d.server = scheme + "://" + host + ":" + std::to_string(port) + "/app";
		d.key = "soak-" + std::to_string(i + 1);
		d.enabled = true;
		settings.destinations.push_back(d);
	}
	return settings;
}

// The run's length, seed and each destination's fault and address.
void LogPlan(const Run &run)
{
	const Options &options = run.stage.options;
	Log("soak: %zu destinations, %.0f s, seed %u; faults by destination:", options.destinations, options.seconds,
	    options.seed);
	for (size_t i = 0; i < options.destinations; i++)
		Log("  %zu %s -> %s", i + 1, role_names[int(run.stage.destinations[i].role)],
		    run.settings.destinations[i].server.c_str());
}

// libobs without a window, every destination started and its reconnect
// signals followed; false with the reason, everything started undone.
bool StartStreaming(Run &run, std::string &error)
{
	const Options &options = run.stage.options;
	HostOptions host;
	host.video.width = 640;
	host.video.height = 360;
	host.log_path = options.work + "/obs.log";
	host.config_dir = options.work + "/obs-config";
	if (!StartHeadlessHost(host, error))
		return false;
	if (!multistream.StartAll(run.settings, error)) {
		multistream.StopAndRelease();
		StopHeadlessHost();
		error = "StartAll refused: " + error;
		return false;
	}
	run.watches = std::vector<Watch>(options.destinations);
	for (const auto &output : multistream.runs) {
		signal_handler_t *signals = obs_output_get_signal_handler(output->output);
		Watch &watch = run.watches[output->destination_index];
		watch.handlers[0].Connect(signals, "reconnect", OnReconnect, &watch);
		watch.handlers[1].Connect(signals, "reconnect_success", OnReconnected, &watch);
	}
	return true;
}

// The destinations' states, every 50 ms, logged when they change and kept
// for the verdicts only then: the timeline must not grow the memory judged.
void PollStates(Run &run)
{
	const double now = Now();
	Poll seen;
	seen.at = now;
	for (size_t i = 0; i < run.stage.destinations.size(); i++) {
		Target &d = run.stage.destinations[i];
		const DestinationStats stats = multistream.GetStats(i);
		if (d.state == DestinationState::Sending)
			d.sending_seconds += now - run.last_poll;
		if (stats.frames_dropped < d.dropped_now)
			d.dropped_before += d.dropped_now;
		d.dropped_now = stats.frames_dropped;
		if (stats.state != d.state)
			Log("%zu: %s -> %s", i + 1, DestinationStateText(d.state, 0),
			    DestinationStateText(stats.state, stats.last_code));
		d.state = stats.state;
		seen.states.push_back(stats.state);
		seen.delays.push_back(run.watches[i].announced_delay.load());
	}
	std::vector<Poll> &polls = run.timeline.polls;
	if (polls.empty() || polls.back().states != seen.states || polls.back().delays != seen.delays)
		polls.push_back(std::move(seen));
	run.last_poll = now;
}

// Up to 30 s for every destination to be Sending, then the threads,
// descriptors and memory every outage is measured against.
void AwaitSending(Run &run)
{
	for (const Target &d : run.stage.destinations)
		run.timeline.hurt.push_back(d.role != Role::Clean);
	run.last_poll = Now();
	run.started = Now();
	while (!AllSending(run.stage.destinations) && Now() - run.started < 30) {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		PollStates(run);
	}
	if (!AllSending(run.stage.destinations))
		Fail("not every destination was sending 30 s after the start");
	std::this_thread::sleep_for(std::chrono::seconds(3));
	PollStates(run);
	run.at_start = MeasureFootprint();
	run.timeline.at_start = {Now(), run.at_start.threads, run.at_start.descriptors};
	Log("threads %d, descriptors %d, resident %.1f MiB with every destination sending", run.at_start.threads,
	    run.at_start.descriptors, run.at_start.resident_kib / 1024.0);
}

// One fault at a time, each once every destination is Sending again and
// the threads and descriptors are back (or 15 s have passed); past the
// end only until the last outage is over.
void RunSchedule(Run &run, const std::vector<Fault> &schedule)
{
	Timeline &timeline = run.timeline;
	Stage &stage = run.stage;
	const double end = run.started + stage.options.seconds;
	const double memory_at = run.started + std::min(60.0, stage.options.seconds / 4);
	Fault current{};
	size_t next = 0;
	bool active = false, settling = false;
	double calm_since = -1, settle_since = -1, next_report = run.started + 60;
	for (double now = Now(); now < end || ((active || settling) && now < end + overtime); now = Now()) {
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
		PollStates(run);
		now = Now();
		if (!timeline.memory.base && now >= memory_at) {
			timeline.memory.base_raw = MeasureFootprint().resident_kib;
			timeline.memory.base = LiveResidentKib();
			Log("resident %.1f MiB, %.1f MiB in use: the base for the memory verdict",
			    timeline.memory.base_raw / 1024.0, timeline.memory.base / 1024.0);
		}
		if (now >= next_report) {
			const Footprint held = MeasureFootprint();
			Log("resident %.1f MiB, %d threads, %d descriptors, %ld libobs allocations",
			    held.resident_kib / 1024.0, held.threads, held.descriptors, bnum_allocs());
			next_report += 60;
		}
		if (active) {
			// When a fault is undone the server is back, except after a cap: the
			// connection the output gave up under it may hold its key at the
			// server until the server drops it as silent.
			OutageTimes &o = timeline.outages.back();
			if (now >= o.start + current.duration) {
				if (!stage.Restore(current))
					Fail("could not undo: " + o.what);
				o.restored = now;
				o.back = now + (current.kind == Kind::BandwidthCap ? idle_publisher : 0);
				Log("undone: %s", o.what.c_str());
				active = false;
				settling = true;
				settle_since = calm_since = -1;
			}
			continue;
		}
		if (!AllSending(stage.destinations)) {
			calm_since = settle_since = -1;
			continue;
		}
		if (settling) {
			const Footprint held = MeasureFootprint();
			if (settle_since < 0)
				settle_since = now;
			if ((held.threads == run.at_start.threads && held.descriptors == run.at_start.descriptors) ||
			    now - settle_since > settle_limit) {
				timeline.settled.push_back({now, held.threads, held.descriptors});
				Log("%d threads, %d descriptors after the outage", held.threads, held.descriptors);
				settling = false;
			}
			continue;
		}
		if (next >= schedule.size() || now >= end)
			continue;
		const Fault &f = schedule[next];
		if (calm_since < 0)
			calm_since = now;
		if (now - calm_since < f.pause)
			continue;
		// Each fault with time to recover before the end, or none.
		if (now + f.duration + 2 * recovery_grace > end) {
			next = schedule.size();
			continue;
		}
		next++;
		current = f;
		timeline.outages.push_back({f.destination, Describe(f), now});
		stage.destinations[f.destination].outages++;
		Log("fault: %s", Describe(f).c_str());
		if (!stage.Inject(f))
			Fail("could not inject: " + Describe(f));
		active = true;
	}
}

// The last states and memory, then "Stop all" as the panel's button does it,
// libobs shut down, the servers stopped and their recordings read.
void StopEverything(Run &run)
{
	Timeline &timeline = run.timeline;
	std::vector<Target> &destinations = run.stage.destinations;
	PollStates(run);
	timeline.end = Now();
	timeline.memory.end_raw = MeasureFootprint().resident_kib;
	timeline.memory.end = LiveResidentKib();
	for (size_t i = 0; i < destinations.size(); i++)
		destinations[i].final_text =
			DestinationStateText(destinations[i].state, multistream.GetStats(i).last_code);

	const double stop_pressed = Now();
	multistream.RequestStopAll();
	while (Now() - stop_pressed < 15 && run.all_ready < 0) {
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		PollStates(run);
		bool ready = std::all_of(destinations.begin(), destinations.end(),
					 [](const Target &d) { return d.state == DestinationState::Ready; });
		if (ready && !multistream.IsBusy())
			run.all_ready = Now() - stop_pressed;
	}
	for (Watch &watch : run.watches)
		for (OBSSignal &handler : watch.handlers)
			handler.Disconnect();
	multistream.StopAndRelease();
	StopHeadlessHost();
	timeline.leaks = bnum_allocs();
	timeline.stop_seconds = run.all_ready;
	run.stage.StopServers();
	for (Target &d : destinations) {
		timeline.recordings.push_back(ReadRecordings(d.server.dir));
		timeline.dropped.push_back(d.dropped_before + d.dropped_now);
	}
}

// One row per destination, then the figures behind each verdict.
void Report(const Run &run, const Verdict &verdict)
{
	const Timeline &timeline = run.timeline;
	printf("\n%-3s %-8s %-9s %-8s %-11s %-12s %-8s %s\n", "#", "fault", "sending", "outages", "reconnects",
	       "longest gap", "dropped", "final state");
	for (size_t i = 0; i < run.stage.destinations.size(); i++) {
		const Target &d = run.stage.destinations[i];
		char gap[32];
		snprintf(gap, sizeof(gap), "%.2f s", verdict.longest_gap[i]);
		printf("%-3zu %-8s %-9s %-8d %-11d %-12s %-8d %s\n", i + 1, role_names[int(d.role)],
		       Mmss(d.sending_seconds).c_str(), d.outages, run.watches[i].reconnects.load(), gap,
		       timeline.dropped[i], d.final_text.c_str());
	}
	printf("\n");

	printf("outages: %zu injected, %zu recovered late or never; slowest back to Sending %.1f s after its fault "
	       "was undone\n",
	       timeline.outages.size(), verdict.late, verdict.slowest);
	const Memory &memory = timeline.memory;
	printf("resident memory in use: %.1f MiB after the first minute, %.1f MiB at the end (growth %.1f MiB, limit "
	       "%.0f); before the allocator hands back free memory %.1f and %.1f MiB\n",
	       memory.base / 1024.0, memory.end / 1024.0, verdict.growth_mib, resident_limit_mib,
	       memory.base_raw / 1024.0, memory.end_raw / 1024.0);
	printf("threads %d and descriptors %d at the start, checked after every outage\n", run.at_start.threads,
	       run.at_start.descriptors);
	printf("Stop all: every destination Ready after %.2f s (limit %.0f)\n", run.all_ready, stop_limit);
	printf("libobs allocations left at shutdown: %ld\n", timeline.leaks);
}

// The last line, "soak: held" or the first failure, and the exit status.
int Conclude()
{
	if (failures.empty()) {
		printf("soak: held\n");
		return 0;
	}
	printf("soak: FAILED (%s%s)\n", failures.front().c_str(),
	       failures.size() > 1 ? (" and " + std::to_string(failures.size() - 1) + " more").c_str() : "");
	return 1;
}

} // namespace

int main(int argc, char **argv)
{
	Options options;
	if (!ParseOptions(argc, argv, options)) {
		fprintf(stderr, "usage: torvane_soak --work DIR --seconds N(>=30) --destinations N(2-40) --seed S "
				"--port-base P\n");
		return 2;
	}
	t0 = Clock::now();
	signal(SIGPIPE, SIG_IGN);
	Run run;
	Arrange(run, options);
	auto setup_failed = [&run](const std::string &reason) {
		run.stage.StopServers();
		printf("soak: FAILED (%s)\n", reason.c_str());
		return 1;
	};
	std::string error;
	if (!SetUpStage(run, error))
		return setup_failed(error);
	run.settings = MakeSettings(run);
	const std::vector<Fault> schedule = MakeSchedule(options.seed, run.stage.destinations);
	LogPlan(run);
	if (!StartStreaming(run, error))
		return setup_failed(error);
	AwaitSending(run);
	RunSchedule(run, schedule);
	StopEverything(run);
	const Verdict verdict = Judge(run.timeline);
	Report(run, verdict);
	for (const std::string &reason : verdict.failures)
		Fail(reason);
	return Conclude();
}
