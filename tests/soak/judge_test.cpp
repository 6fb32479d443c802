// The soak's verdicts over recorded runs: each one must be able to fail.
#include "tools/soak/judge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace torvane;
using namespace torvane::soak;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

constexpr DestinationState S = DestinationState::Sending, R = DestinationState::Reconnecting;

// A minute that held: server 1 killed at 10 s and restarted at 15 s, its
// output reconnecting with 2 s announced and Sending again at 17 s; the
// threads and descriptors back at 18 s; destination 2 unhurt.
Timeline Held()
{
	Timeline t;
	t.hurt = {true, false};
	t.polls = {{0, {S, S}, {0, 0}}, {10.5, {R, S}, {2, 0}}, {17, {S, S}, {2, 0}}};
	t.outages = {{0, "server 1 killed", 10, 15, 15}};
	t.at_start = {3, 20, 30};
	t.settled = {{18, 20, 30}};
	t.end = 60;
	t.recordings = {{{0, true, 300, 0, 10, 0.04}, {16, true, 1300, 0.5, 44, 0.04}}, {{0, true, 1800, 0, 60, 0.04}}};
	t.dropped = {0, 0};
	t.memory = {100000, 90000, 99000, 91000};
	t.stop_seconds = 1;
	return t;
}

TEST(SoakJudge, RecordedRunThatHeldHolds)
{
	EXPECT_THAT(Judge(Held()).failures, IsEmpty());
}

// The output had not noticed the fault when it was undone: it must still be
// seen leaving Sending and back by the deadline, and Sending before Stop all.
TEST(SoakJudge, FaultUndoneWhileSendingFailsUnlessBackInTime)
{
	Timeline late = Held();
	late.polls = {{0, {S, S}, {0, 0}}, {20, {R, S}, {2, 0}}, {40, {S, S}, {2, 0}}};
	EXPECT_THAT(Judge(late).failures, Contains(HasSubstr("not Sending again in time after: server 1 killed")));
	EXPECT_THAT(Judge(late).failures, Not(Contains(HasSubstr("before Stop all"))));

	Timeline never = late;
	never.polls.pop_back();
	const Verdict v = Judge(never);
	EXPECT_THAT(v.failures, Contains(HasSubstr("not Sending again in time after: server 1 killed")));
	EXPECT_THAT(v.failures, Contains(HasSubstr("destination 1 was Reconnecting")));
}

TEST(SoakJudge, ThreadsAndDescriptorsJudgedAfterTheLastOutage)
{
	Timeline extra = Held();
	extra.settled = {{18, 21, 30}};
	EXPECT_THAT(Judge(extra).failures, Contains(HasSubstr("after server 1 killed: 21 threads")));
	extra.settled.clear();
	EXPECT_THAT(Judge(extra).failures, Contains(HasSubstr("not checked after: server 1 killed")));
}

TEST(SoakJudge, RecordingWithoutVideoOrUnreadableFails)
{
	Timeline empty = Held();
	empty.recordings[1] = {{0, true, 0}};
	EXPECT_THAT(Judge(empty).failures, Contains(HasSubstr("destination 2 had no fault")));
	Timeline unreadable = Held();
	unreadable.recordings[0][1].readable = false;
	EXPECT_THAT(Judge(unreadable).failures, Contains(HasSubstr("destination 1 left a recording ffprobe cannot")));
}

// Before the trim the figures may shrink while the memory in use grows.
TEST(SoakJudge, MemoryJudgedAfterTheAllocatorHandsBack)
{
	Timeline grown = Held();
	grown.memory = {100000, 90000, 99000, 96000};
	const Verdict v = Judge(grown);
	EXPECT_NEAR(v.growth_mib, 5.86, 0.01);
	EXPECT_THAT(v.failures, Contains(HasSubstr("resident memory grew by 5.9 MiB")));
}

} // namespace
