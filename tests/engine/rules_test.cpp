// The engine's pure rules and the bookkeeping of run records that needs no
// running host: records without outputs are what a failed start leaves behind.
#include "engine/engine.h"
#include "panel/commands.h"
#include "panel/layout.h"
#include "tests/panel/fake_ui.h"

#include <gtest/gtest.h>

using namespace torvane;

TEST(ScaledOutputSize, FitsTheHostPictureIntoTheChosenHeightWithoutEnlarging)
{
	struct Case {
		uint32_t width, height;
		int32_t quality;
		uint32_t expected_width, expected_height;
	};
	const Case cases[] = {
		{1920, 1080, 720, 1280, 720},
		{1920, 1080, 1080, 1920, 1080},
		{1280, 720, 1080, 1280, 720},
		{2560, 1440, 1080, 1920, 1080},
		{2560, 1080, 1080, 1920, 810},
		{1366, 768, 720, 1280, 718},
		{1920, 1200, 720, 1152, 720},
		{1080, 1920, 1080, 606, 1080},
		// Odd host sides are rounded down to even ones even when nothing scales.
		{1281, 721, 1080, 1280, 720},
		// Never below 2 pixels a side.
		{1, 1, 720, 2, 2},
		{3, 3, 1080, 2, 2},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.quality);
		const EncodedSize size = ScaledOutputSize(c.width, c.height, c.quality);
		EXPECT_EQ(size.width, c.expected_width);
		EXPECT_EQ(size.height, c.expected_height);
	}
}

TEST(ScaledOutputSize, KeepsTheHostSizeWhenTheInputsAreUnusable)
{
	for (const auto &[width, height, quality] : {std::tuple<uint32_t, uint32_t, int32_t>{0, 1080, 1080},
						     {1920, 0, 1080},
						     {1920, 1080, 0},
						     {1920, 1080, -720}}) {
		const EncodedSize size = ScaledOutputSize(width, height, quality);
		EXPECT_EQ(size.width, 0u);
		EXPECT_EQ(size.height, 0u);
	}
}

TEST(FrameRateDivisor, RoundsTheHostRateDownToTheLimitFromAbove)
{
	struct Case {
		uint32_t fps_num, fps_den;
		int32_t fps;
		uint32_t expected;
	};
	const Case cases[] = {
		{60, 1, 30, 2},
		{60, 1, 60, 1},
		{30, 1, 60, 1},
		{60000, 1001, 30, 2},
		{50, 1, 30, 2},
		{144, 1, 60, 3},
		{30000, 1001, 30, 1},
		{120, 1, 30, 4},
		{24000, 1001, 30, 1},
		// Degenerate inputs still give a usable divisor and never divide by 0.
		{0, 1, 30, 1},
		{60, 0, 30, 1},
		{60, 1, 0, 1},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << c.fps_num << "/" << c.fps_den << " limited to " << c.fps);
		EXPECT_EQ(FrameRateDivisor(c.fps_num, c.fps_den, c.fps), c.expected);
	}
}

TEST(DestinationStateText, NamesEachStateAndEachFailureCode)
{
	struct Case {
		DestinationState state;
		int32_t code;
		const char *text;
	};
	const Case cases[] = {
		{DestinationState::Ready, 0, "Ready"},
		{DestinationState::Ready, -3, "Ready"},
		{DestinationState::Connecting, -2, "Connecting..."},
		{DestinationState::Sending, 0, "Sending"},
		{DestinationState::Reconnecting, 0, "Reconnecting..."},
		{DestinationState::Stopping, 0, "Stopping..."},
		{DestinationState::Failed, OBS_OUTPUT_BAD_PATH, "Failed: server URL"},
		{DestinationState::Failed, OBS_OUTPUT_CONNECT_FAILED, "Failed: connection"},
		{DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM, "Failed: stream key"},
		{DestinationState::Failed, OBS_OUTPUT_DISCONNECTED, "Disconnected"},
		{DestinationState::Failed, OBS_OUTPUT_ENCODE_ERROR, "Failed: encoder"},
		{DestinationState::Failed, OBS_OUTPUT_ERROR, "Failed: check settings"},
		{DestinationState::Failed, OBS_OUTPUT_UNSUPPORTED, "Failed: check settings"},
		{DestinationState::Failed, OBS_OUTPUT_NO_SPACE, "Failed: check settings"},
		{DestinationState::Failed, OBS_OUTPUT_HDR_DISABLED, "Failed: check settings"},
		{DestinationState::Failed, 0, "Failed: check settings"},
		{DestinationState::Failed, 7, "Failed: check settings"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::Message() << "state " << uint32_t(c.state) << ", code " << c.code);
		EXPECT_STREQ(DestinationStateText(uint32_t(c.state), c.code), c.text);
	}
}

namespace {

DestinationRun *AddRun(MultistreamEngine &multistream, uint64_t index, DestinationState state, int32_t code = 0)
{
	auto *run = new DestinationRun();
	run->destination_index = index;
	run->state.store(uint32_t(state));
	run->last_code.store(code);
	multistream.runs.emplace_back(run);
	return run;
}

} // namespace

TEST(EngineRecords, BusyOnlyWhileARunIsConnectingSendingReconnectingOrStopping)
{
	struct Case {
		DestinationState state;
		bool busy;
	};
	const Case cases[] = {
		{DestinationState::Ready, false},   {DestinationState::Connecting, true},
		{DestinationState::Sending, true},  {DestinationState::Reconnecting, true},
		{DestinationState::Stopping, true}, {DestinationState::Failed, false},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(DestinationStateText(uint32_t(c.state), 0));
		MultistreamEngine multistream;
		AddRun(multistream, 0, DestinationState::Failed, OBS_OUTPUT_ERROR);
		AddRun(multistream, 1, c.state);
		EXPECT_EQ(multistream.IsBusy(), c.busy);
	}

	MultistreamEngine idle;
	EXPECT_FALSE(idle.IsBusy());
}

TEST(EngineRecords, StatsComeFromTheRunOfThatPositionOrAreZero)
{
	MultistreamEngine multistream;
	AddRun(multistream, 1, DestinationState::Sending);
	AddRun(multistream, 3, DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM);
	// A second record for the same position is never consulted.
	AddRun(multistream, 3, DestinationState::Sending);

	const DestinationStats sending = multistream.GetStats(1);
	EXPECT_EQ(sending.state, uint32_t(DestinationState::Sending));
	EXPECT_EQ(sending.last_code, 0);
	EXPECT_EQ(sending.frames_dropped, 0);

	const DestinationStats failed = multistream.GetStats(3);
	EXPECT_EQ(failed.state, uint32_t(DestinationState::Failed));
	EXPECT_EQ(failed.last_code, OBS_OUTPUT_INVALID_STREAM);

	for (uint64_t absent : {0ull, 2ull, 4ull, ~0ull}) {
		const DestinationStats none = multistream.GetStats(absent);
		EXPECT_EQ(none.state, 0u);
		EXPECT_EQ(none.last_code, 0);
		EXPECT_EQ(none.frames_dropped, 0);
	}
}

TEST(EngineStart, RefusesWhileTheHostHasNoVideoOrAudio)
{
	// This process never starts libobs.
	PanelSettings settings;
	Destination destination;
	destination.name = "Local";
	destination.platform = "Custom";
	destination.server = "rtmp://127.0.0.1:1935/app";
	destination.key = "key";
	destination.enabled = true;
	settings.destinations.push_back(destination);

	MultistreamEngine multistream;
	AddRun(multistream, 0, DestinationState::Failed, OBS_OUTPUT_CONNECT_FAILED);
	std::string error;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "OBS video and audio must be initialized first.");

	// Validation comes first and needs no host.
	settings.fps = 24;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "Choose a frame-rate limit of 30 or 60 fps.");
	// The earlier run is still there to look at.
	ASSERT_EQ(multistream.runs.size(), 1u);
	EXPECT_EQ(multistream.GetStats(0).last_code, OBS_OUTPUT_CONNECT_FAILED);
}

TEST(EngineRecords, RemovingADestinationTakesItsRecordAndKeepsEveryOtherRowsState)
{
	SettingsStore store; // no path: the save after the removal is refused
	store.load_attempted = true;
	for (const char *name : {"first", "second", "third", "fourth"}) {
		Destination destination;
		destination.name = name;
		destination.platform = "Custom";
		destination.enabled = true;
		store.settings.destinations.push_back(destination);
	}
	MultistreamEngine multistream;
	AddRun(multistream, 0, DestinationState::Failed, OBS_OUTPUT_INVALID_STREAM);
	AddRun(multistream, 1, DestinationState::Failed, OBS_OUTPUT_CONNECT_FAILED);
	AddRun(multistream, 2, DestinationState::Ready);
	AddRun(multistream, 3, DestinationState::Failed, OBS_OUTPUT_DISCONNECTED);

	FakeUi ui;
	PanelState state;
	Panel panel{ui, state, store, multistream, nullptr};
	InitializeControls(panel);
	OnRowSelected(panel, 1);
	ui.answers = {true};
	OnButtonClicked(panel, id_remove);
	ASSERT_EQ(store.settings.destinations.size(), 3u);

	auto text = [&](uint64_t row) {
		const DestinationStats stats = multistream.GetStats(row);
		return std::string(DestinationStateText(stats.state, stats.last_code));
	};
	EXPECT_EQ(text(0), "Failed: stream key");
	EXPECT_EQ(text(1), "Ready");
	EXPECT_EQ(text(2), "Disconnected");
	EXPECT_EQ(multistream.GetStats(3).last_code, 0);
	EXPECT_EQ(multistream.runs.size(), 3u);
}
