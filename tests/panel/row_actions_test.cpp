// Each row's own start, stop and retry, and the figures beside its status line.
#include "panel/commands.h"
#include "panel/painting.h"
#include "settings/document.h"
#include "settings/text.h"
#include "tests/support/system.h"

#include "fake_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
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
			d.enabled = true, d.key = "key-" + d.name;
		InitializeControls(panel);
		ui.ForgetRequests();
	}
	void TearDown() override { engine.runs.clear(); }

	DestinationRun &MakeRun(uint64_t index, DestinationState run_state)
	{
		auto run = std::make_unique<DestinationRun>();
		run->destination_index = index;
		run->state = run_state;
		engine.runs.push_back(std::move(run));
		return *engine.runs.back();
	}
	bool Saved() const { return std::filesystem::exists(WideToUtf8(store.settings_path)); }

	FakeUi ui;
	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	Panel panel{ui, state, store, engine, nullptr};
};

TEST_F(RowActions, OfferedOnlyWhereTheEngineTakesThem)
{
	store.settings.destinations[3].enabled = false;
	MakeRun(0, DestinationState::Sending);
	MakeRun(1, DestinationState::Failed);
	MakeRun(2, DestinationState::Stopping);
	const RowAction busy[] = {RowAction::Stop, RowAction::Retry, RowAction::None, RowAction::None};
	for (int32_t row = 0; row < 4; row++)
		EXPECT_EQ(RowActionFor(panel, row), busy[row]) << row;
	EXPECT_EQ(RowActionFor(panel, 4), RowAction::None);
	EXPECT_EQ(RowActionFor(panel, -1), RowAction::None);
	engine.runs[2]->state = DestinationState::Ready;
	EXPECT_EQ(RowActionFor(panel, 2), RowAction::Start) << "a stopped row starts again while others stream";

	// A start saves first: settings that can't be saved offer only stopping.
	store.usable = false;
	EXPECT_EQ(RowActionFor(panel, 0), RowAction::Stop);
	EXPECT_EQ(RowActionFor(panel, 1), RowAction::None);
	EXPECT_EQ(RowActionFor(panel, 2), RowAction::None);
}

TEST_F(RowActions, AStartCommitsSavesAndReportsARefusalAsStartAllDoes)
{
	ui.texts[id_key] = u"typed-key";
	RunRowAction(panel, 1, RowAction::Stop);
	EXPECT_FALSE(Saved()) << "an action the row no longer offers does nothing";

	OnRowSelected(panel, 2);
	ui.texts[id_server] = u"rtmps://fa723fc1b171.global-contribute.live-video.net";
	OnListEnter(panel);
	PanelSettings saved;
	std::string message;
	ASSERT_TRUE(LoadSettingsFile(store.settings_path, saved, message)) << message;
	EXPECT_EQ(saved.destinations[0].key, "typed-key");
	EXPECT_EQ(saved.destinations[2].server, "rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	// Without a host the engine refuses; the sentence shows as Start all's do.
	ASSERT_EQ(ui.notices.size(), 1u);
	EXPECT_EQ(state.status_message, ui.notices.back());
	EXPECT_TRUE(state.status_error);
	EXPECT_TRUE(ui.IsEnabled(id_start) && !ui.IsEnabled(id_stop));
}

TEST_F(RowActions, FiguresShowTheBitrateAndTheReconnectionsAndRepaintOnlyTheirRow)
{
	Destination d = store.settings.destinations[0];
	DestinationStats stats;
	stats.state = DestinationState::Sending;
	stats.kbps = 4510;
	EXPECT_EQ(LiveFigure(d, stats), "4,510 kbps");
	stats.kbps = 1234567;
	EXPECT_EQ(LiveFigure(d, stats), "1,234,567 kbps");
	stats.kbps = 980;
	EXPECT_EQ(LiveFigure(d, stats), "980 kbps");
	stats.state = DestinationState::Reconnecting;
	stats.reconnect_attempts = 3;
	stats.reconnect_limit = 20;
	stats.next_attempt_seconds = 2;
	EXPECT_EQ(LiveFigure(d, stats), "attempt 3 of 20 \u00B7 next in 2 s");
	EXPECT_EQ(DestinationStatusLine(d, stats).text, DestinationStateText(stats.state, 0))
		<< "the status line stays";
	d.enabled = false;
	EXPECT_EQ(LiveFigure(d, stats), "");

	DestinationRun &run = MakeRun(1, DestinationState::Reconnecting);
	LiveRefresh(panel);
	ui.ForgetRequests();
	run.reconnect_attempts = 2;
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1}) << "a figure alone repaints its row";
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_TRUE(ui.rows.empty());
	run.state = DestinationState::Failed;
	store.settings.destinations[1].enabled = true;
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1});
}

TEST_F(RowActions, TheActionIsPaintedInsideItsStripAndTheTextsEndBeforeIt)
{
	MakeRun(0, DestinationState::Sending);
	for (uint32_t dpi : {84u, 96u, 144u}) {
		state.dpi = dpi;
		const Rect item = {0, Scale(62, dpi), Scale(273, dpi), 2 * Scale(62, dpi)};
		const Rect box = RowActionBox(item, dpi);
		EXPECT_TRUE(InRowActionStrip(item, box.left, dpi) && InRowActionStrip(item, box.right - 1, dpi)) << dpi;
		EXPECT_FALSE(InRowActionStrip(item, box.left - Scale(8, dpi), dpi)) << "the status text is no action";
		EXPECT_FALSE(InRowActionStrip(item, item.right, dpi));
		const DrawList row = PaintRow(panel, 0, item);
		const auto glyph = std::find_if(row.begin(), row.end(), [&](const DrawOp &op) {
			return op.kind == DrawKind::FillRectAA && op.rect.left >= box.left &&
			       op.rect.right <= box.right && op.rect.top >= box.top && op.rect.bottom <= box.bottom;
		});
		EXPECT_NE(glyph, row.end()) << "the stop square lies in the box at " << dpi;
		for (const DrawOp &op : row)
			if (op.kind == DrawKind::Text)
				EXPECT_LT(op.rect.right, box.left) << WideToUtf8(op.text);
	}
}

} // namespace
