#include "tools/soak/judge.h"

#include <algorithm>
#include <cstdio>

namespace torvane::soak {
namespace {

std::string Number(double value)
{
	char text[32];
	snprintf(text, sizeof(text), "%.1f", value);
	return text;
}

// The last poll at or before `at`; none before the first.
const Poll *PollAt(const Timeline &t, double at)
{
	const Poll *found = nullptr;
	for (const Poll &p : t.polls)
		if (p.at <= at)
			found = &p;
	return found;
}

bool SendingAt(const Poll *p, size_t destination)
{
	return p && p->states[destination] == DestinationState::Sending;
}

// A destination that left Sending during an outage (from the fault until the
// next one, or the end) must be Sending again, for good, by the deadline: the
// announced delay, if it was reconnecting when its server came back, plus the
// grace. One that never left Sending held.
void JudgeRecovery(const Timeline &t, Verdict &v)
{
	for (size_t k = 0; k < t.outages.size(); k++) {
		const OutageTimes &o = t.outages[k];
		const size_t d = o.destination;
		if (o.restored < 0) {
			v.late++;
			v.failures.push_back("never undone: " + o.what);
			continue;
		}
		const double until = k + 1 < t.outages.size() ? t.outages[k + 1].start : t.end;
		const double back = std::max(o.back, o.restored);
		const Poll *at_back = PollAt(t, back);
		const bool waiting = at_back && at_back->states[d] == DestinationState::Reconnecting;
		const double deadline = back + (waiting ? at_back->delays[d] : 0) + recovery_grace;
		bool sending = SendingAt(PollAt(t, o.start), d), left = !sending;
		double again = -1;
		for (const Poll &p : t.polls) {
			if (p.at <= o.start || p.at > until)
				continue;
			const bool now = p.states[d] == DestinationState::Sending;
			if (sending && !now)
				left = true, again = -1;
			else if (!sending && now)
				again = p.at;
			sending = now;
		}
		if (!left)
			continue;
		v.slowest = std::max(v.slowest, (again < 0 ? until : again) - o.restored);
		if (again < 0 || again > deadline) {
			v.late++;
			v.failures.push_back("not Sending again in time after: " + o.what);
		}
	}
}

// Every connection an outage replaced is gone once it is over: the same
// threads and descriptors as at the start, last seen before the next fault
// or Stop all.
void JudgeSettling(const Timeline &t, Verdict &v)
{
	for (size_t k = 0; k < t.outages.size(); k++) {
		const OutageTimes &o = t.outages[k];
		const double until = k + 1 < t.outages.size() ? t.outages[k + 1].start : t.end;
		const Counts *last = nullptr;
		for (const Counts &c : t.settled)
			if (c.at >= o.restored && c.at <= until)
				last = &c;
		if (!last)
			v.failures.push_back("threads and descriptors not checked after: " + o.what);
		else if (last->threads != t.at_start.threads || last->descriptors != t.at_start.descriptors)
			v.failures.push_back("after " + o.what + ": " + std::to_string(last->threads) +
					     " threads and " + std::to_string(last->descriptors) +
					     " descriptors, not " + std::to_string(t.at_start.threads) + " and " +
					     std::to_string(t.at_start.descriptors));
	}
}

// The longest stretch without a video packet over a server's recordings,
// counting the time between one recording's end and the next one's start.
// An unhurt destination recorded once, without a gap, and dropped nothing.
// A hurt one may leave a file without packets: a publish refused while the
// server still held the dropped connection.
void JudgeRecordings(const Timeline &t, size_t d, Verdict &v)
{
	const std::string name = "destination " + std::to_string(d + 1);
	double previous_end = -1, &gap = v.longest_gap[d];
	size_t empty = 0;
	for (const Recording &r : t.recordings[d]) {
		if (!r.readable) {
			v.failures.push_back(name + " left a recording ffprobe cannot read");
			continue;
		}
		if (!r.packets) {
			empty++;
			continue;
		}
		if (previous_end >= 0)
			gap = std::max(gap, r.started + r.first - previous_end);
		gap = std::max(gap, r.longest_gap);
		previous_end = r.started + r.last;
	}
	const size_t files = t.recordings[d].size();
	if (!t.hurt[d] && (files != 1 || empty || gap > gap_limit || t.dropped[d] != 0))
		v.failures.push_back(name + " had no fault but recorded " + std::to_string(files) + " file(s), " +
				     std::to_string(empty) + " without video, with a longest gap of " + Number(gap) +
				     " s and dropped " + std::to_string(t.dropped[d]) + " frames");
}

} // namespace

Verdict Judge(const Timeline &t)
{
	Verdict v;
	const size_t count = t.hurt.size();
	for (size_t d = 0; d < count; d++)
		for (const Poll &p : t.polls)
			if (p.states[d] == DestinationState::Failed) {
				v.failures.push_back("destination " + std::to_string(d + 1) + " failed");
				break;
			}
	JudgeRecovery(t, v);
	const Poll *last = PollAt(t, t.end);
	for (size_t d = 0; d < count; d++)
		if (!SendingAt(last, d))
			v.failures.push_back("destination " + std::to_string(d + 1) + " was " +
					     DestinationStateText(last ? last->states[d] : DestinationState::Ready, 0) +
					     " before Stop all");
	JudgeSettling(t, v);
	v.longest_gap.assign(count, 0);
	for (size_t d = 0; d < count; d++)
		JudgeRecordings(t, d, v);
	v.growth_mib = (t.memory.end - t.memory.base) / 1024.0;
	if (!t.memory.base || v.growth_mib >= resident_limit_mib)
		v.failures.push_back("resident memory grew by " + Number(v.growth_mib) + " MiB");
	if (t.stop_seconds < 0 || t.stop_seconds > stop_limit)
		v.failures.push_back("Stop all did not leave every destination Ready within " + Number(stop_limit) +
				     " s");
	if (t.leaks != 0)
		v.failures.push_back("libobs reported " + std::to_string(t.leaks) + " leaked allocations");
	return v;
}

} // namespace torvane::soak
