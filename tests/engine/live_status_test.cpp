#include "panel/live_status.h"

#include <obs.h>

#include <gtest/gtest.h>

using namespace torvane;

namespace {

constexpr uint32_t error_color = 0x9B9BFF;
constexpr uint32_t accent_color = 0xFFCC84;
constexpr uint32_t muted_color = 0xBCA592;

Destination Ticked(bool enabled)
{
	Destination destination;
	destination.name = "Somewhere";
	destination.platform = "Custom";
	destination.enabled = enabled;
	return destination;
}

DestinationStats Stats(DestinationState state, int32_t code = 0, int32_t dropped = 0)
{
	DestinationStats stats;
	stats.state = uint32_t(state);
	stats.last_code = code;
	stats.frames_dropped = dropped;
	return stats;
}

obs_video_info Host(uint32_t width, uint32_t height, uint32_t fps_num, uint32_t fps_den)
{
	obs_video_info video = {};
	video.output_width = width;
	video.output_height = height;
	video.fps_num = fps_num;
	video.fps_den = fps_den;
	return video;
}

PanelSettings Quality(int32_t height, int32_t fps, int32_t bitrate = 4500)
{
	PanelSettings settings;
	settings.height = height;
	settings.fps = fps;
	settings.bitrate = bitrate;
	return settings;
}

} // namespace

TEST(DestinationStatusLine, ShowsTheStateOfTickedDestinationsInTheirColour)
{
	struct Case {
		bool enabled;
		DestinationStats stats;
		const char *text;
		uint32_t color;
	};
	const Case cases[] = {
		{false, Stats(DestinationState::Ready), "Not included", muted_color},
		{false, Stats(DestinationState::Sending, 0, 4), "Not included", muted_color},
		{false, Stats(DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM), "Not included", error_color},
		{true, Stats(DestinationState::Ready), "Ready", accent_color},
		{true, Stats(DestinationState::Connecting), "Connecting...", accent_color},
		{true, Stats(DestinationState::Reconnecting, 0, 7), "Reconnecting...", accent_color},
		{true, Stats(DestinationState::Stopping, 0, 7), "Stopping...", accent_color},
		{true, Stats(DestinationState::Sending), "Sending", accent_color},
		{true, Stats(DestinationState::Sending, 0, 12), "Sending \xC2\xB7 12 dropped", accent_color},
		{true, Stats(DestinationState::Sending, 0, 1234567), "Sending \xC2\xB7 1234567 dropped", accent_color},
		{true, Stats(DestinationState::Sending, 0, -1), "Sending", accent_color},
		{true, Stats(DestinationState::Failed, OBS_OUTPUT_CONNECT_FAILED, 3), "Failed: connection",
		 error_color},
		{true, Stats(DestinationState::Failed, OBS_OUTPUT_ERROR), "Failed: check settings", error_color},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.text);
		const StatusLine line = DestinationStatusLine(Ticked(c.enabled), c.stats);
		EXPECT_EQ(line.text, c.text);
		EXPECT_EQ(line.color, c.color);
	}
}

TEST(HeaderCountText, CountsSendingDestinationsWhileBusyAndTickedOnesOtherwise)
{
	PanelSettings settings;
	settings.destinations = {Ticked(true), Ticked(false), Ticked(true), Ticked(true)};

	MultistreamEngine multistream;
	EXPECT_EQ(HeaderCountText(settings, multistream), "3 enabled  \xC2\xB7  Ready");

	auto add = [&](uint64_t index, DestinationState state) {
		auto *run = new DestinationRun();
		run->destination_index = index;
		run->state.store(uint32_t(state));
		multistream.runs.emplace_back(run);
		return run;
	};
	DestinationRun *first = add(0, DestinationState::Connecting);
	DestinationRun *third = add(2, DestinationState::Connecting);
	DestinationRun *fourth = add(3, DestinationState::Failed);
	EXPECT_EQ(HeaderCountText(settings, multistream), "0 / 3 sending");

	first->state.store(uint32_t(DestinationState::Sending));
	EXPECT_EQ(HeaderCountText(settings, multistream), "1 / 3 sending");
	third->state.store(uint32_t(DestinationState::Sending));
	EXPECT_EQ(HeaderCountText(settings, multistream), "2 / 3 sending");

	// A sending run whose tick was removed while streaming still counts.
	settings.destinations[0].enabled = false;
	EXPECT_EQ(HeaderCountText(settings, multistream), "2 / 2 sending");
	settings.destinations[0].enabled = true;

	first->state.store(uint32_t(DestinationState::Stopping));
	third->state.store(uint32_t(DestinationState::Stopping));
	EXPECT_EQ(HeaderCountText(settings, multistream), "0 / 3 sending");

	first->state.store(uint32_t(DestinationState::Ready));
	third->state.store(uint32_t(DestinationState::Ready));
	fourth->state.store(uint32_t(DestinationState::Failed));
	EXPECT_EQ(HeaderCountText(settings, multistream), "3 enabled  \xC2\xB7  Ready");

	settings.destinations.clear();
	EXPECT_EQ(HeaderCountText(settings, multistream), "0 enabled  \xC2\xB7  Ready");
}

TEST(ActualOutputLine, ShowsWhatTheEncoderIsGiven)
{
	struct Case {
		obs_video_info host;
		int32_t height, fps;
		const char *text;
		uint32_t color;
	};
	const Case cases[] = {
		{Host(1920, 1080, 60, 1), 720, 30, "Actual output: 1280 \xC3\x97 720 / 30 fps  \xC2\xB7  H.264 + AAC",
		 muted_color},
		{Host(1920, 1080, 60, 1), 1080, 60, "Actual output: 1920 \xC3\x97 1080 / 60 fps  \xC2\xB7  H.264 + AAC",
		 muted_color},
		{Host(1920, 1080, 60000, 1001), 1080, 30,
		 "Actual output: 1920 \xC3\x97 1080 / 29.97 fps  \xC2\xB7  H.264 + AAC", muted_color},
		{Host(1920, 1080, 60000, 1001), 720, 60,
		 "Actual output: 1280 \xC3\x97 720 / 59.94 fps  \xC2\xB7  H.264 + AAC", muted_color},
		{Host(1920, 1080, 24000, 1001), 1080, 30,
		 "Actual output: 1920 \xC3\x97 1080 / 23.98 fps  \xC2\xB7  H.264 + AAC", muted_color},
		{Host(1366, 768, 50, 1), 720, 30, "Actual output: 1280 \xC3\x97 718 / 25 fps  \xC2\xB7  H.264 + AAC",
		 muted_color},
		{Host(2560, 1440, 144, 1), 1080, 60,
		 "Actual output: 1920 \xC3\x97 1080 / 48 fps  \xC2\xB7  H.264 + AAC", muted_color},
		{Host(1920, 1080, 60, 0), 720, 30, "Actual output: 1280 \xC3\x97 720 / 0 fps  \xC2\xB7  H.264 + AAC",
		 muted_color},
		{Host(1280, 720, 30, 1), 1080, 30,
		 "For full 1080p, set OBS Settings \xE2\x86\x92 Video \xE2\x86\x92 Output resolution to 1920 \xC3\x97 1080.",
		 accent_color},
		{Host(1280, 480, 30, 1), 720, 30,
		 "For full 1080p, set OBS Settings \xE2\x86\x92 Video \xE2\x86\x92 Output resolution to 1920 \xC3\x97 1080.",
		 accent_color},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.text);
		const StatusLine line = ActualOutputLine(Quality(c.height, c.fps), &c.host);
		EXPECT_EQ(line.text, c.text);
		EXPECT_EQ(line.color, c.color);
	}

	const StatusLine fallback = ActualOutputLine(Quality(1080, 30), nullptr);
	EXPECT_EQ(fallback.text, "H.264 + AAC  \xC2\xB7  CBR  \xC2\xB7  2-second keyframes");
	EXPECT_EQ(fallback.color, muted_color);
}

TEST(UploadBudgetText, CountsVideoAndAudioPerTickedDestinationWithOverhead)
{
	struct Case {
		int32_t bitrate;
		size_t ticked, unticked;
		const char *text;
	};
	const Case cases[] = {
		{4500, 4, 1, "23.3 Mbps"},
		{8000, 4, 0, "40.8 Mbps"},
		{4500, 0, 4, "0.0 Mbps"},
		{0, 1, 0, "0.2 Mbps"},
		{-2500, 1, 2, "0.2 Mbps"},
		{1000, 1, 0, "1.4 Mbps"},
		// The sum is taken in 64 bits: no wrap-around for absurd typed values.
		{2147483647, 1000, 0, "2684354758.8 Mbps"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.text);
		PanelSettings settings = Quality(1080, 30, c.bitrate);
		for (size_t i = 0; i < c.ticked + c.unticked; i++)
			settings.destinations.push_back(Ticked(i < c.ticked));
		EXPECT_EQ(UploadBudgetText(settings), c.text);
	}
}
