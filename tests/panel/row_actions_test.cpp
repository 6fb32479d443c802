// Each row's own start, stop and retry, and the figure beside its status line.
#include "panel/commands.h"
#include "settings/utf8.h"
#include "tests/support/system.h"

#include "fake_ui.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace torvane;

namespace {

class RowActions : public testing::Test {
protected:
	void SetUp() override
	{
		store.settings_path = Utf8ToWide(test::TestWorkDir() + "/settings.dpapi");
		store.settings = DefaultSettings();
		store.load_attempted = true;
		for (Destination &d : store.settings.destinations)
			d.enabled = true;
		InitializeControls(panel);
	}
	void TearDown() override { engine.runs.clear(); }
	DestinationRun &MakeRun(uint64_t index, DestinationState run_state)
	{
		DestinationRun &run = *engine.runs.emplace_back(std::make_unique<DestinationRun>());
		run.destination_index = index, run.state = run_state;
		return run;
	}

	FakeUi ui;
	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	Panel panel{ui, state, store, engine, nullptr};
};

TEST_F(RowActions, AStartSavesFirstAndNothingIsOfferedThatTheEngineWouldRefuse)
{
	RunRowAction(panel, 1, RowAction::Stop);
	EXPECT_FALSE(std::filesystem::exists(WideToUtf8(store.settings_path))) << "a stale action does nothing";
	// Like Start all: the form committed, the Kick URL completed, saved, the refusal shown.
	OnRowSelected(panel, 2);
	ui.texts[id_server] = u"rtmps://fa723fc1b171.global-contribute.live-video.net";
	OnListEnter(panel);
	EXPECT_EQ(store.settings.destinations[2].server,
		  "rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	EXPECT_TRUE(std::filesystem::exists(WideToUtf8(store.settings_path)));
	ASSERT_EQ(ui.notices.size(), 1u) << "without a host the engine refuses";
	EXPECT_TRUE(state.status_error && state.status_message == ui.notices.back());

	// A stopping row takes nothing; settings that can't be saved start nothing.
	MakeRun(0, DestinationState::Stopping);
	MakeRun(1, DestinationState::Sending);
	store.usable = false;
	const RowAction offered[] = {RowAction::None, RowAction::Stop, RowAction::None};
	for (int32_t row = 0; row < 3; row++)
		EXPECT_EQ(RowActionFor(panel, row), offered[row]) << row;
}

TEST_F(RowActions, FiguresAndActionsRepaintTheirRowWhenTheyChange)
{
	DestinationStats stats = {DestinationState::Sending, 0, 0, 123456};
	EXPECT_EQ(LiveFigure(store.settings.destinations[0], stats), "123,456 kbps");
	stats = {DestinationState::Reconnecting, 0, 0, 0, 3, 20, 2};
	EXPECT_EQ(LiveFigure(store.settings.destinations[0], stats), "attempt 3 of 20 \u00B7 next in 2 s");

	DestinationRun &run = MakeRun(1, DestinationState::Reconnecting);
	LiveRefresh(panel);
	ui.ForgetRequests();
	run.reconnect_attempts = 2;
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1}) << "the figure alone";
	ui.ForgetRequests();
	store.usable = false;
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, (std::vector<int32_t>{0, 2, 3})) << "the action alone";
}

} // namespace
