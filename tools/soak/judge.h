#pragma once

// The soak's verdicts, over what the run recorded: nothing here looks at the
// engine, the servers or the clock, so a recorded run can be judged again.
#include "engine/engine.h"

#include <string>
#include <vector>

namespace torvane::soak {

constexpr double recovery_grace = 5.0;   // Sending again within the announced delay plus this
constexpr double resident_limit_mib = 5; // growth after the first minute
constexpr double stop_limit = 5.0;       // Stop all until every destination is Ready
constexpr double gap_limit = 0.5;        // seconds without a video packet that count as a gap

// The destinations as one poll saw them. The run keeps a poll only when a
// state or an announced delay changed, and the last one before Stop all.
struct Poll {
	double at = 0;
	std::vector<DestinationState> states;
	std::vector<int> delays; // timeout_sec of each output's last "reconnect"
};

// One fault: when it began, was undone and its server was back (later than
// undone after a cap, while the server still holds the dropped connection).
struct OutageTimes {
	size_t destination = 0;
	std::string what;
	double start = 0, restored = -1, back = -1;
};

struct Counts {
	double at = 0;
	int threads = 0, descriptors = 0;
};

// One file a server recorded, as ffprobe read its video packets.
struct Recording {
	double started = 0; // the second nginx put in its name
	bool readable = false;
	size_t packets = 0;
	double first = 0, last = 0, longest_gap = 0; // between its packets
};

struct Memory {
	long base_raw = 0, base = 0, end_raw = 0, end = 0; // resident KiB; base and end after the trim
};

struct Timeline {
	std::vector<bool> hurt; // by destination: the schedule has faults for it
	std::vector<Poll> polls;
	std::vector<OutageTimes> outages;
	Counts at_start;
	std::vector<Counts> settled; // threads and descriptors, each time an outage was over
	double end = 0;              // the last poll before Stop all
	std::vector<std::vector<Recording>> recordings;
	std::vector<int> dropped;
	Memory memory;
	double stop_seconds = -1; // until every destination was Ready; -1: never
	long leaks = 0;
};

struct Verdict {
	std::vector<std::string> failures;
	size_t late = 0;
	double slowest = 0; // back to Sending after a fault was undone
	std::vector<double> longest_gap;
	double growth_mib = 0;
};

Verdict Judge(const Timeline &timeline);

} // namespace torvane::soak
