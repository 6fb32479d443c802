// How the cost of a multistream grows with its destinations: process CPU per
// second of streaming with 1, 4 and 8 destinations on a 720p30 canvas, the
// time from StartAll until every destination sends, and resident memory per
// destination. One encode serves them all, so CPU(8) / CPU(1) should stay
// close to 1; the figures are printed, never judged.
//
//   multistream_bench PORT... (at least 8 RTMP servers on 127.0.0.1, application "app")
#include "engine/engine.h"
#include "tools/headless/host.h"

#include <obs.h>
#include <util/platform.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace torvane;

constexpr double warmup_seconds = 2.0;
constexpr double measure_seconds = 10.0;
constexpr size_t rounds_wanted = 3;

MultistreamEngine multistream;

double CpuSeconds()
{
	rusage usage = {};
	getrusage(RUSAGE_SELF, &usage);
	return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
	       usage.ru_stime.tv_usec / 1e6;
}

double Now()
{
	return os_gettime_ns() / 1e9;
}

// Resident memory in KiB.
long ResidentKiB()
{
	std::ifstream status("/proc/self/status");
	std::string line;
	while (std::getline(status, line)) {
		if (line.rfind("VmRSS:", 0) == 0)
			return std::atol(line.c_str() + 6);
	}
	return 0;
}

void Sleep(double seconds)
{
	os_sleep_ms(static_cast<uint32_t>(seconds * 1000));
}

bool AllSending(size_t count)
{
	for (size_t i = 0; i < count; i++) {
		if (multistream.GetStats(i).state != DestinationState::Sending)
			return false;
	}
	return true;
}

struct Figures {
	size_t destinations = 0;
	double start_ms = 0;       // StartAll until every destination sends
	double cpu_per_second = 0; // process CPU seconds per second of streaming
	long resident_kib = 0;
	uint32_t lagged = 0, rendered = 0;
	int dropped = 0;
};

bool Measure(size_t count, const std::vector<int> &ports, Figures &figures)
{
	PanelSettings settings;
	settings.bitrate = 2500;
	settings.height = 720;
	settings.fps = 30;
	for (size_t i = 0; i < count; i++) {
		Destination d;
		d.name = "Bench " + std::to_string(i + 1);
		d.platform = "Custom";
		d.server = "rtmp://127.0.0.1:" + std::to_string(ports[i]) + "/app";
		d.key = "bench" + std::to_string(count) + "-" + std::to_string(i);
		d.enabled = true;
		settings.destinations.push_back(d);
	}
	figures.destinations = count;
	std::string error;
	double t0 = Now();
	if (!multistream.StartAll(settings, error)) {
		fprintf(stderr, "StartAll with %zu destinations refused: %s\n", count, error.c_str());
		return false;
	}
	while (!AllSending(count)) {
		if (Now() - t0 > 20) {
			fprintf(stderr, "not every destination was sending after 20 s\n");
			multistream.StopAndRelease();
			return false;
		}
		os_sleep_ms(5);
	}
	figures.start_ms = (Now() - t0) * 1000;

	Sleep(warmup_seconds);
	HostFrameCounts frames0 = GetHostFrameCounts();
	double cpu0 = CpuSeconds(), wall0 = Now();
	Sleep(measure_seconds);
	figures.cpu_per_second = (CpuSeconds() - cpu0) / (Now() - wall0);
	HostFrameCounts frames1 = GetHostFrameCounts();
	figures.rendered = frames1.total - frames0.total;
	figures.lagged = frames1.lagged - frames0.lagged;
	figures.resident_kib = ResidentKiB();
	for (size_t i = 0; i < count; i++)
		figures.dropped += multistream.GetStats(i).frames_dropped;

	multistream.RequestStopAll();
	double stop_deadline = Now() + 15;
	while (multistream.IsBusy() && Now() < stop_deadline)
		os_sleep_ms(10);
	multistream.StopAndRelease();
	Sleep(1.0);
	return true;
}

} // namespace

int main(int argc, char **argv)
{
	std::vector<int> ports;
	for (int i = 1; i < argc; i++)
		ports.push_back(std::atoi(argv[i]));
	if (ports.size() < 8) {
		fprintf(stderr, "usage: multistream_bench PORT x 8 (RTMP servers on 127.0.0.1 with application app)\n");
		return 2;
	}

	HostOptions options; // 1280 x 720 at 30 fps, 48 kHz stereo
	std::string error;
	if (!StartHeadlessHost(options, error)) {
		fprintf(stderr, "%s\n", error.c_str());
		return 1;
	}

	// The host alone: rendering the test picture, no encoder.
	Sleep(warmup_seconds);
	double cpu0 = CpuSeconds(), wall0 = Now();
	Sleep(5.0);
	double idle_cpu = (CpuSeconds() - cpu0) / (Now() - wall0);
	long idle_kib = ResidentKiB();

	// Rounds of 1, 4 and 8 in turn, so that a burst of load from elsewhere on
	// the machine falls on every count alike; the median of each is shown.
	std::vector<std::vector<Figures>> rounds(rounds_wanted);
	for (std::vector<Figures> &round : rounds) {
		for (size_t count : {size_t(1), size_t(4), size_t(8)}) {
			Figures figures;
			if (!Measure(count, ports, figures)) {
				StopHeadlessHost();
				return 1;
			}
			round.push_back(figures);
		}
	}
	StopHeadlessHost();
	std::vector<Figures> results;
	for (size_t i = 0; i < 3; i++) {
		std::vector<Figures> runs;
		for (const std::vector<Figures> &round : rounds)
			runs.push_back(round[i]);
		std::sort(runs.begin(), runs.end(),
			  [](const Figures &a, const Figures &b) { return a.cpu_per_second < b.cpu_per_second; });
		Figures median = runs[runs.size() / 2];
		std::sort(runs.begin(), runs.end(),
			  [](const Figures &a, const Figures &b) { return a.start_ms < b.start_ms; });
		median.start_ms = runs[runs.size() / 2].start_ms;
		results.push_back(median);
	}

	printf("Multistream benchmark on OBS %s: 1280x720 canvas at 30 fps, 720p30 at 2500 kbps, %.0f s measured per "
	       "run, median of %zu rounds\n",
	       obs_get_version_string(), measure_seconds, rounds.size());
	printf("host alone (no encoder): %.3f CPU s/s, %ld MiB resident\n\n", idle_cpu, idle_kib / 1024);
	printf("%-13s %-14s %-16s %-14s %-16s %s\n", "destinations", "CPU s/s", "start to all (ms)", "resident MiB",
	       "frames (lagged)", "dropped");
	for (const Figures &f : results) {
		std::string frames = std::to_string(f.rendered) + " (" + std::to_string(f.lagged) + ")";
		printf("%-13zu %-14.3f %-17.0f %-14.1f %-16s %d\n", f.destinations, f.cpu_per_second, f.start_ms,
		       f.resident_kib / 1024.0, frames.c_str(), f.dropped);
	}
	const Figures &one = results[0], &eight = results[2];
	double ratio = one.cpu_per_second > 0 ? eight.cpu_per_second / one.cpu_per_second : 0;
	// Memory from the first round: later rounds reuse what the earlier ones
	// left in the allocator and grow less.
	double per_destination_kib = (rounds[0][2].resident_kib - rounds[0][0].resident_kib) / 7.0;
	printf("\nCPU(8) / CPU(1) = %.3f (bar: at most 1.05, %s)\n", ratio,
	       ratio <= 1.05 ? "within the bar" : "above the bar");
	printf("memory per added destination: %.0f KiB ((resident with 8 - resident with 1) / 7, first round)\n",
	       per_destination_kib);
	printf("start to every destination sending: %.0f ms with 1, %.0f ms with 4, %.0f ms with 8\n",
	       results[0].start_ms, results[1].start_ms, results[2].start_ms);
	return 0;
}
