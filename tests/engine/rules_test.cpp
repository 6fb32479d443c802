// The engine's rules, the bookkeeping of run records and the live texts made
// from them, without a running host: records without outputs are what a failed
// start leaves behind. Removing a destination's record is the panel tests' part.
#include "engine/engine.h"
#include "control/status.h"
#include "tests/support/destinations.h"

#include <gtest/gtest.h>

#include <array>

using namespace torvane;
using namespace torvane::test;

TEST(EngineRules, EncodedSizeFitsTheChosenHeightAndRateDivisorNeverExceedsTheLimit)
{
	// Host width and height, the quality's height, the encoded width and height.
	const std::array<int64_t, 5> sizes[] = {
		{1920, 1080, 720, 1280, 720}, {1280, 720, 1080, 1280, 720},  {2560, 1080, 1080, 1920, 810},
		{1366, 768, 720, 1280, 718},  {1080, 1920, 1080, 606, 1080}, {1281, 721, 1080, 1280, 720},
		{3, 3, 1080, 2, 2},           {0, 1080, 1080, 0, 0},         {1920, 1080, -720, 0, 0},
	};
	for (const auto &[width, height, quality, expected_width, expected_height] : sizes) {
		const EncodedSize size = ScaledOutputSize(uint32_t(width), uint32_t(height), int32_t(quality));
		EXPECT_EQ(std::make_pair(int64_t(size.width), int64_t(size.height)),
			  std::make_pair(expected_width, expected_height))
			<< width << " x " << height << " at " << quality;
	}
	// The host's rate as a fraction, the limit, the divisor.
	const std::array<int64_t, 4> rates[] = {
		{60, 1, 60, 1}, {60000, 1001, 30, 2}, {50, 1, 30, 2}, {144, 1, 60, 3},
		{30, 1, 60, 1}, {0, 1, 30, 1},        {60, 0, 30, 1}, {60, 1, 0, 1},
	};
	for (const auto &[num, den, fps, expected] : rates)
		EXPECT_EQ(FrameRateDivisor(uint32_t(num), uint32_t(den), int32_t(fps)), uint32_t(expected))
			<< num << "/" << den << " limited to " << fps;
}

TEST(EngineRecords, RestingRecordsAreNotBusyAndStatsComeFromTheFirstRunOfAPosition)
{
	MultistreamEngine multistream;
	AddRun(multistream, 1, DestinationState::Ready);
	AddRun(multistream, 3, DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM);
	AddRun(multistream, 3, DestinationState::Ready);
	EXPECT_FALSE(multistream.IsBusy());
	for (uint64_t absent : {0ull, 2ull, ~0ull}) {
		const DestinationStats none = multistream.GetStats(absent);
		EXPECT_TRUE(none.state == DestinationState::Ready && !none.last_code && !none.frames_dropped) << absent;
	}

	// Without a host (this process never starts libobs) a start is refused
	// after validation, and the last run stays on show.
	PanelSettings settings = DefaultSettings();
	settings.destinations[1].key = "key";
	settings.destinations[1].enabled = true;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "OBS video and audio must be initialized first.");
	settings.fps = 24;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "Choose a frame-rate limit of 30 or 60 fps.");
	EXPECT_EQ(TextOf(multistream, 3), "Failed: stream key");
}

TEST(EngineRecords, ARateCountsARestartedCounterFromZeroAndShowsOnlyWhileSending)
{
	// 250,000 bytes in one second on a new connection, below the last reading.
	EXPECT_EQ(ThroughputKbps(900000, 5000000000, 250000, 6000000000), 2000u);
	EXPECT_EQ(ThroughputKbps(1000, 5000000000, 2000, 5000000000), 0u);

	MultistreamEngine multistream;
	AddRun(multistream, 0, DestinationState::Reconnecting);
	multistream.runs[0]->kbps = 3000;
	EXPECT_EQ(multistream.GetStats(0).kbps, 0u);
}

TEST(LiveStatus, RowsAndHeaderFollowTheRecords)
{
	auto line = [](bool ticked, DestinationState state, int32_t code = 0, int32_t dropped = 0,
		       const char *error = "") {
		Destination destination;
		destination.enabled = ticked;
		return DestinationStatusLine(destination, DestinationStats{state, code, dropped, 0, 0, 0, 0, error});
	};
	EXPECT_EQ(line(true, DestinationState::Sending, 0, 12).text, "Sending \xC2\xB7 12 dropped");
	EXPECT_EQ(line(true, DestinationState::Failed, OBS_OUTPUT_CONNECT_FAILED, 0, "Timed out.").text,
		  "Failed: connection (Timed out.)");
	EXPECT_EQ(line(true, DestinationState::Reconnecting, 0, 7).text, "Reconnecting...");
	EXPECT_EQ(line(false, DestinationState::Sending, 0, 4).text, "Not included");
	EXPECT_EQ(line(false, DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM).tone, Tone::Error);

	PanelSettings settings = DefaultSettings();
	settings.destinations[2].enabled = settings.destinations[3].enabled = true;
	MultistreamEngine multistream;
	AddRun(multistream, 0, DestinationState::Sending); // its tick removed while streaming: it still counts
	AddRun(multistream, 2, DestinationState::Sending);
	AddRun(multistream, 3, DestinationState::Connecting);
	EXPECT_EQ(HeaderCountText(settings, multistream), "2 / 2 sending");
}

TEST(LiveStatus, OutputLineShowsWhatTheEncoderGetsAndBudgetSumsEveryTickedDestination)
{
	PanelSettings settings = SharedAt(720, 30);
	obs_video_info host = {};
	host.output_width = 1366;
	host.output_height = 768;
	host.fps_num = 60000;
	host.fps_den = 1001;
	EXPECT_EQ(ActualOutputLine(SharedQuality(settings), &host).text,
		  "Actual output: 1280 \xC3\x97 718 / 29.97 fps  \xC2\xB7  H.264 + AAC");
	settings.height = 1080;
	host.output_width = 1280;
	host.output_height = 720;
	EXPECT_EQ(ActualOutputLine(SharedQuality(settings), &host).text,
		  "For full 1080p, set OBS Settings \xE2\x86\x92 Video "
		  "\xE2\x86\x92 Output resolution to 1920 \xC3\x97 1080.");
	EXPECT_EQ(ActualOutputLine(SharedQuality(settings), &host, true).text.substr(0, 28),
		  "Actual output: 1080 \xC3\x97 1920 ");
	EXPECT_EQ(ActualOutputLine(SharedQuality(settings), nullptr).text,
		  "H.264 + AAC  \xC2\xB7  CBR  \xC2\xB7  2-second keyframes");

	settings.bitrate = 4500;
	settings.destinations.assign(4, Loopback("on", 1935));
	settings.destinations.push_back(Loopback("off", 1935, false));
	EXPECT_EQ(UploadBudgetText(settings), "23.3 Mbps");
	settings.bitrate = -2500;
	settings.destinations.resize(1);
	EXPECT_EQ(UploadBudgetText(settings), "0.2 Mbps");
	// The sum is taken in 64 bits: no wrap-around for absurd typed values.
	settings.bitrate = 2147483647;
	settings.destinations.assign(1000, Loopback("on", 1935));
	EXPECT_EQ(UploadBudgetText(settings), "2684354758.8 Mbps");
}
