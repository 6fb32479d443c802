// The panel's behaviour through a recording toolkit: commands, form, enable
// rules, ticks, live refresh and the drawing list. Saves go to a real settings
// file protected with the test keyring.
#include "panel/commands.h"
#include "panel/painting.h"
#include "settings/document.h"
#include "settings/store.h"
#include "settings/text.h"

#include "fake_ui.h"

#include <obs.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace torvane;

namespace {

std::u16string U(const std::string &text)
{
	return Utf8ToWide(text);
}

// A panel over its own store, engine and state, with the settings file in a
// fresh folder.
class PanelTest : public testing::Test {
protected:
	void SetUp() override
	{
		folder = std::filesystem::temp_directory_path() /
			 ("torvane-panel-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
			  ::testing::UnitTest::GetInstance()->current_test_info()->name());
		std::filesystem::remove_all(folder);
		std::filesystem::create_directories(folder);
		store.settings_path = Utf8ToWide((folder / "settings.dpapi").string());
		store.settings = DefaultSettings();
		store.load_attempted = true;
		InitializeControls(panel);
		ui.ForgetRequests();
	}

	void TearDown() override
	{
		engine.runs.clear();
		std::filesystem::remove_all(folder);
	}

	bool FileSaved() const { return std::filesystem::exists(folder / "settings.dpapi"); }

	PanelSettings Reload() const
	{
		PanelSettings loaded;
		std::string message;
		EXPECT_TRUE(LoadSettingsFile(store.settings_path, loaded, message)) << message;
		return loaded;
	}

	// Makes the engine busy with one run in `state` for destination `index`,
	// as a start leaves it, without touching the host.
	void MakeRun(uint64_t index, DestinationState run_state)
	{
		auto run = std::make_unique<DestinationRun>();
		run->destination_index = index;
		run->state = run_state;
		engine.runs.push_back(std::move(run));
	}

	void Type(int32_t id, const std::string &text) { ui.texts[id] = U(text); }

	std::filesystem::path folder;
	FakeUi ui;
	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	Panel panel{ui, state, store, engine, nullptr};
};

TEST(PanelLayout, PanelDpiFitsTheWorkAreaAndNeverExceedsTheHost)
{
	struct Case {
		uint32_t host;
		int32_t w, h;
		uint32_t dpi;
		int32_t client_w, client_h;
	};
	const Case cases[] = {
		{96, 1920, 1040, 96, 1000, 748},  {144, 1920, 1032, 123, 1281, 958}, {96, 1366, 728, 84, 875, 655},
		{120, 2560, 1392, 120, 1250, 935}, {144, 2560, 1400, 144, 1500, 1122},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
		const uint32_t dpi = ChoosePanelDpi(c.host, c.w, c.h);
		EXPECT_EQ(dpi, c.dpi);
		EXPECT_EQ(Scale(panel_width, dpi), c.client_w);
		EXPECT_EQ(Scale(panel_height, dpi), c.client_h);
	}
	EXPECT_EQ(ChoosePanelDpi(96, 0, 0), 72u) << "a tiny or unknown work area still gets a usable panel";
}

TEST(PanelLayout, ScalingRoundsHalvesAwayFromZeroAndRectanglesByTheirEdges)
{
	EXPECT_EQ(Scale(1, 144), 2);  // 1.5
	EXPECT_EQ(Scale(-1, 144), -2);
	EXPECT_EQ(Scale(38, 144), 57);
	EXPECT_EQ(Scale(35, 84), 31); // 30.625
	// Two rectangles that touch at 96 DPI still touch after scaling.
	const Rect left = ScaleRect(20, 0, 33, 10, 84);
	const Rect right = ScaleRect(53, 0, 33, 10, 84);
	EXPECT_EQ(left.right, right.left);
}

TEST(PanelLayout, ControlsAreInKeyboardOrderWithTheirLimitsAndMasks)
{
	std::vector<int32_t> ids;
	for (const ControlSpec &c : panel_controls)
		if (c.kind != ControlKind::Label)
			ids.push_back(c.id);
	const std::vector<int32_t> expected = {101, 112, 113, 114, 102, 103, 104, 108, 105,
					       106, 115, 116, 117, 118, 107, 110, 111, 109, 119};
	EXPECT_EQ(ids, expected);
	EXPECT_EQ(FindControl(id_name)->max_length, 100);
	EXPECT_EQ(FindControl(id_server)->max_length, 4096);
	EXPECT_TRUE(FindControl(id_key)->masked);
	EXPECT_TRUE(FindControl(id_password)->masked);
	EXPECT_FALSE(FindControl(id_username)->masked);
	for (int32_t never_in_form : {id_list, id_start, id_stop, id_coffee})
		EXPECT_FALSE(FindControl(never_in_form)->form);
}

TEST(PanelBitrate, ParsedLikeStoiAndTakenOnlyWhenTheWholeTextIsANumber)
{
	EXPECT_EQ(ParseBitrate(u"4500"), 4500);
	EXPECT_EQ(ParseBitrate(u"  4500"), 4500);
	EXPECT_EQ(ParseBitrate(u"+4500"), 4500);
	EXPECT_EQ(ParseBitrate(u"-12"), -12);
	for (const char16_t *bad : {u"4500 ", u"45 00", u"4500k", u"0x1194", u"", u" ", u"99999999999", u"-99999999999"})
		EXPECT_EQ(ParseBitrate(bad), 0) << std::string(WideToUtf8(bad));
	EXPECT_EQ(ParseBitrate(u"2147483647"), 2147483647);
}

TEST_F(PanelTest, OpeningFillsTheFormFromTheFirstDestinationAndMasksSecrets)
{
	EXPECT_EQ(ui.row_count, 4);
	EXPECT_EQ(ui.selected_row, 0);
	EXPECT_EQ(ui.Text(id_name), u"YouTube");
	EXPECT_EQ(ui.Text(id_server), u"rtmps://a.rtmps.youtube.com:443/live2");
	EXPECT_EQ(ui.Text(id_bitrate), u"4500");
	EXPECT_TRUE(ui.IsMasked(id_key));
	EXPECT_TRUE(ui.IsMasked(id_password));
	EXPECT_EQ(ui.Text(id_show), u"Show");
	EXPECT_EQ(state.status_message, status_welcome);
}

TEST_F(PanelTest, CommitTrimsEveryFieldButThePassword)
{
	Type(id_name, " \tMy channel\r\n");
	Type(id_server, " rtmp://127.0.0.1/app ");
	Type(id_key, "\nkey123 ");
	Type(id_username, " me ");
	Type(id_password, " secret ");
	CommitForm(panel);
	const Destination &d = store.settings.destinations[0];
	EXPECT_EQ(d.name, "My channel");
	EXPECT_EQ(d.server, "rtmp://127.0.0.1/app");
	EXPECT_EQ(d.key, "key123");
	EXPECT_EQ(d.username, "me");
	EXPECT_EQ(d.password, " secret ");
	EXPECT_EQ(d.platform, "YouTube") << "the form never writes the platform";
}

TEST_F(PanelTest, SelectingAnotherRowCommitsTheRowBeingLeftAndLoadsTheNewOne)
{
	Type(id_key, "youtube-key");
	OnRowSelected(panel, 1);
	EXPECT_EQ(store.settings.destinations[0].key, "youtube-key");
	EXPECT_EQ(state.selected_index, 1);
	EXPECT_EQ(ui.Text(id_name), u"Twitch");
	EXPECT_EQ(ui.Text(id_key), u"");
	EXPECT_EQ(ui.list_invalidations, 1);
}

TEST_F(PanelTest, ShowUnmasksBothSecretsAndSelectionMasksThemAgain)
{
	OnButtonClicked(panel, id_show);
	EXPECT_FALSE(ui.IsMasked(id_key));
	EXPECT_FALSE(ui.IsMasked(id_password));
	EXPECT_EQ(ui.Text(id_show), u"Hide");
	OnRowSelected(panel, 2);
	EXPECT_TRUE(ui.IsMasked(id_key));
	EXPECT_TRUE(ui.IsMasked(id_password));
	EXPECT_EQ(ui.Text(id_show), u"Show");
}

TEST_F(PanelTest, CustomAppendsSelectsAndFocusesWithoutSaving)
{
	OnButtonClicked(panel, id_custom);
	ASSERT_EQ(store.settings.destinations.size(), 5u);
	EXPECT_EQ(store.settings.destinations[4].name, "Custom 5");
	EXPECT_EQ(state.selected_index, 4);
	EXPECT_EQ(ui.selected_row, 4);
	EXPECT_EQ(ui.row_count, 5);
	EXPECT_EQ(ui.Text(id_name), u"Custom 5");
	EXPECT_EQ(ui.focus, id_name);
	EXPECT_FALSE(FileSaved());
}

TEST_F(PanelTest, CustomRefusesADestinationTheFileCouldNotHold)
{
	store.settings.destinations.resize(max_saved_destinations);
	OnButtonClicked(panel, id_custom);
	EXPECT_EQ(store.settings.destinations.size(), max_saved_destinations);
	ASSERT_EQ(ui.notices.size(), 1u);
	EXPECT_EQ(ui.notices[0], u"You can add at most 1000 destinations.");
	EXPECT_TRUE(state.status_error);
}

TEST(PanelList, NavigationKeysMoveLikeTheWindowsListView)
{
	// 10 rows, rows 2 to 5 visible.
	const struct {
		ListKey key;
		int32_t current, expected;
	} cases[] = {
		{ListKey::Up, 0, 0},       {ListKey::Down, 9, 9},   {ListKey::Down, -1, 0},
		{ListKey::Home, 6, 0},     {ListKey::End, 1, 9},    {ListKey::PageDown, 3, 5},
		{ListKey::PageDown, 5, 8}, {ListKey::PageUp, 4, 2}, {ListKey::PageUp, 2, 0},
	};
	for (const auto &c : cases)
		EXPECT_EQ(ListKeyTarget(c.key, c.current, 10, 2, 4), c.expected) << int(c.key) << " from " << c.current;
	EXPECT_EQ(ListKeyTarget(ListKey::PageDown, 8, 10, 7, 4), 9);
	EXPECT_EQ(ListKeyTarget(ListKey::End, -1, 0, 0, 4), -1);
}

TEST_F(PanelTest, RemoveAnsweredNoChangesNothingAndYesRemovesAndSavesAtOnce)
{
	OnRowSelected(panel, 1);
	ui.answers = {false};
	OnButtonClicked(panel, id_remove);
	ASSERT_EQ(ui.questions.size(), 1u);
	EXPECT_EQ(ui.questions[0], u"Remove this destination and its saved credentials?");
	EXPECT_EQ(store.settings.destinations.size(), 4u);
	EXPECT_FALSE(FileSaved());

	ui.answers = {true};
	OnButtonClicked(panel, id_remove);
	ASSERT_EQ(store.settings.destinations.size(), 3u);
	EXPECT_EQ(store.settings.destinations[1].platform, "Kick") << "the next row moves into the place";
	EXPECT_EQ(state.selected_index, 1);
	EXPECT_EQ(ui.Text(id_name), u"Kick");
	EXPECT_TRUE(FileSaved());
	EXPECT_EQ(Reload().destinations.size(), 3u);
	EXPECT_EQ(state.status_message, u"Saved. Your credentials are encrypted on this PC.");
}

TEST_F(PanelTest, RemovingTheLastRowSelectsTheNewLastAndRemovingAllEmptiesTheForm)
{
	OnRowSelected(panel, 3);
	ui.answers = {true};
	OnButtonClicked(panel, id_remove);
	EXPECT_EQ(state.selected_index, 2);
	for (int i = 0; i < 3; i++) {
		ui.answers = {true};
		OnButtonClicked(panel, id_remove);
	}
	EXPECT_TRUE(store.settings.destinations.empty());
	EXPECT_EQ(state.selected_index, -1);
	EXPECT_EQ(ui.selected_row, -1);
	EXPECT_EQ(ui.Text(id_name), u"");
	EXPECT_FALSE(ui.IsEnabled(id_name));
	EXPECT_FALSE(ui.IsEnabled(id_remove));
	EXPECT_TRUE(ui.IsEnabled(id_custom));
	ui.answers = {true};
	OnButtonClicked(panel, id_remove);
	EXPECT_TRUE(ui.questions.empty() || ui.questions.size() == 4u) << "nothing selected: nothing to ask";
}

TEST_F(PanelTest, QualityChipsChangeTheModelOnlyAndRepaintTheFourChips)
{
	OnButtonClicked(panel, id_720p);
	OnButtonClicked(panel, id_60fps);
	EXPECT_EQ(store.settings.height, 720);
	EXPECT_EQ(store.settings.fps, 60);
	EXPECT_EQ(store.settings.bitrate, 4500);
	EXPECT_EQ(state.status_message, u"Quality updated. Save settings to keep this preset.");
	EXPECT_FALSE(FileSaved());
	const std::vector<int32_t> chips = {115, 116, 117, 118};
	EXPECT_EQ(std::vector<int32_t>(ui.controls.begin(), ui.controls.begin() + 4), chips);
}

TEST_F(PanelTest, SaveChecksTheBitrateRangeBeforeWriting)
{
	for (const char *bad : {"999", "8001", "", "4500 kbps"}) {
		SCOPED_TRACE(bad);
		Type(id_bitrate, bad);
		ui.notices.clear();
		OnButtonClicked(panel, id_save);
		ASSERT_EQ(ui.notices.size(), 1u);
		EXPECT_EQ(ui.notices[0], u"Enter a video bitrate between 1000 and 8000 kbps.");
		EXPECT_TRUE(state.status_error);
		EXPECT_FALSE(FileSaved());
	}
	for (const char *good : {"1000", "8000"}) {
		SCOPED_TRACE(good);
		Type(id_bitrate, good);
		OnButtonClicked(panel, id_save);
		EXPECT_FALSE(state.status_error);
		EXPECT_EQ(state.status_message, u"Saved. Your credentials are encrypted on this PC.");
		EXPECT_EQ(Reload().bitrate, std::stoi(good));
	}
}

TEST_F(PanelTest, KickDashboardUrlIsCompletedWhenTheServerFieldIsLeft)
{
	OnRowSelected(panel, 2);
	Type(id_server, "rtmps://fa723fc1b171.global-contribute.live-video.net");
	OnServerFocusLost(panel);
	EXPECT_EQ(ui.Text(id_server), u"rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	EXPECT_EQ(state.status_message, u"Kick URL completed automatically with port 443 and /app.");
	OnButtonClicked(panel, id_save);
	EXPECT_EQ(state.status_message, u"Saved. Your credentials are encrypted on this PC.")
		<< "nothing was left to complete";
}

TEST_F(PanelTest, StartAllWithNothingTickedReportsTheValidationSentenceAndSavesNothing)
{
	OnButtonClicked(panel, id_start);
	ASSERT_EQ(ui.notices.size(), 1u);
	EXPECT_EQ(ui.notices[0], u"Enable at least one destination using its checkbox.");
	EXPECT_EQ(state.status_message, u"Enable at least one destination using its checkbox.");
	EXPECT_TRUE(state.status_error);
	EXPECT_FALSE(FileSaved());
}

TEST_F(PanelTest, StartAllSavesFirstAndReportsTheEnginesRefusal)
{
	// Without a running host the engine refuses after validation; the
	// settings were saved before it was asked.
	store.settings.destinations[1].key = "live_123";
	ToggleTick(panel, 1);
	OnButtonClicked(panel, id_start);
	EXPECT_TRUE(FileSaved());
	ASSERT_EQ(ui.notices.size(), 1u);
	EXPECT_TRUE(state.status_error);
	EXPECT_TRUE(Reload().destinations[1].enabled);
}

TEST_F(PanelTest, StopAllAsksTheEngineAndTellsTheUser)
{
	MakeRun(0, DestinationState::Sending);
	OnButtonClicked(panel, id_stop);
	EXPECT_EQ(state.status_message, u"Stopping all Torvane destinations...");
	EXPECT_FALSE(state.status_error);
	EXPECT_TRUE(ui.IsEnabled(id_stop)) << "the controls follow the engine until it is idle";
	EXPECT_FALSE(ui.IsEnabled(id_start));
}

TEST_F(PanelTest, EnableRulesFollowTheEngineTheStoreAndTheSelection)
{
	auto editing = [&]() { return ui.IsEnabled(id_bitrate) && ui.IsEnabled(id_save) && ui.IsEnabled(id_custom); };
	auto selection = [&]() { return ui.IsEnabled(id_name) && ui.IsEnabled(id_remove) && ui.IsEnabled(id_guide); };

	// Idle, usable, a destination selected.
	UpdateControlStates(panel);
	EXPECT_TRUE(editing() && selection());
	EXPECT_TRUE(ui.IsEnabled(id_start));
	EXPECT_FALSE(ui.IsEnabled(id_stop));

	// Busy.
	MakeRun(0, DestinationState::Connecting);
	UpdateControlStates(panel);
	EXPECT_FALSE(editing() || selection());
	EXPECT_FALSE(ui.IsEnabled(id_start));
	EXPECT_TRUE(ui.IsEnabled(id_stop));
	engine.runs.clear();

	// Idle, not usable.
	store.usable = false;
	UpdateControlStates(panel);
	EXPECT_FALSE(editing() || selection());
	EXPECT_FALSE(ui.IsEnabled(id_start) || ui.IsEnabled(id_stop));
	store.usable = true;

	// Idle, usable, empty list.
	store.settings.destinations.clear();
	RebuildRows(panel);
	UpdateControlStates(panel);
	EXPECT_TRUE(editing());
	EXPECT_FALSE(selection());
	EXPECT_TRUE(ui.IsEnabled(id_start));
}

TEST_F(PanelTest, TicksToggleIdleAndAreLockedWhileBusyOrUnusable)
{
	ToggleTick(panel, 2);
	EXPECT_TRUE(store.settings.destinations[2].enabled);
	EXPECT_EQ(state.selected_index, 2) << "toggling selects the row";
	EXPECT_GE(ui.panel_invalidations, 1) << "the header count and budget follow the tick";
	ToggleTick(panel, 2);
	EXPECT_FALSE(store.settings.destinations[2].enabled);

	MakeRun(2, DestinationState::Sending);
	ToggleTick(panel, 1);
	EXPECT_FALSE(store.settings.destinations[1].enabled);
	EXPECT_EQ(state.selected_index, 2) << "a refused toggle does not even select";
	OnRowSelected(panel, 1);
	EXPECT_EQ(state.selected_index, 1) << "selection stays free while streaming";
	engine.runs.clear();

	store.usable = false;
	ToggleTick(panel, 0);
	EXPECT_FALSE(store.settings.destinations[0].enabled);
	store.usable = true;

	ToggleTick(panel, -1);
	ToggleTick(panel, 4);
	for (const Destination &d : store.settings.destinations)
		EXPECT_FALSE(d.enabled);
}

// A tick the list changes by itself (its own check-box handling) updates the
// model without moving the selection; the panel's own row writes don't.
TEST_F(PanelTest, ATickChangedByTheListFollowsIntoTheModelAndKeepsTheSelection)
{
	state.selected_index = 0;
	const int before = ui.panel_invalidations;
	OnTickChanged(panel, 3, true);
	EXPECT_TRUE(store.settings.destinations[3].enabled);
	EXPECT_EQ(state.selected_index, 0);
	EXPECT_GT(ui.panel_invalidations, before) << "the header count and budget follow the tick";

	state.form_guard = true;
	OnTickChanged(panel, 3, false);
	state.form_guard = false;
	EXPECT_TRUE(store.settings.destinations[3].enabled) << "ignored while the panel fills the list";

	OnTickChanged(panel, 4, true);
	OnTickChanged(panel, -1, true);
	EXPECT_EQ(store.settings.destinations.size(), 4u);
}

TEST_F(PanelTest, ClosingSavesWhenIdleAndOnlyHidesWhenBusyOrUnusable)
{
	Type(id_key, "kept-on-close");
	OnButtonClicked(panel, id_show);
	EXPECT_TRUE(OnCloseRequested(panel));
	EXPECT_TRUE(ui.hidden);
	EXPECT_TRUE(ui.IsMasked(id_key)) << "secrets are masked again when the panel hides";
	EXPECT_EQ(Reload().destinations[0].key, "kept-on-close");

	std::filesystem::remove(folder / "settings.dpapi");
	ui.hidden = false;
	MakeRun(0, DestinationState::Sending);
	EXPECT_TRUE(OnCloseRequested(panel));
	EXPECT_TRUE(ui.hidden);
	EXPECT_FALSE(FileSaved());
	engine.runs.clear();

	ui.hidden = false;
	store.usable = false;
	store.load_error = "The settings file is invalid. It has been left untouched.";
	ui.notices.clear();
	EXPECT_TRUE(OnCloseRequested(panel));
	EXPECT_TRUE(ui.hidden);
	EXPECT_TRUE(ui.notices.empty());
	EXPECT_FALSE(FileSaved());
}

TEST_F(PanelTest, AFailedSaveKeepsThePanelOpenAndAnUnusableStoreNeverWrites)
{
	Type(id_bitrate, "12");
	EXPECT_FALSE(OnCloseRequested(panel));
	EXPECT_FALSE(ui.hidden);

	store.usable = false;
	store.load_error = "The settings file is invalid. It has been left untouched.";
	Type(id_bitrate, "4500");
	OnButtonClicked(panel, id_save);
	ASSERT_FALSE(ui.notices.empty());
	EXPECT_EQ(ui.notices.back(), u"The settings file is invalid. It has been left untouched.");
	EXPECT_FALSE(FileSaved());
}

TEST_F(PanelTest, SetupGuideOpensThePlatformsPageAndTheDefaultForOthers)
{
	OnButtonClicked(panel, id_guide);
	OnRowSelected(panel, 1);
	OnButtonClicked(panel, id_guide);
	store.settings.destinations[2].platform = "youtube";
	OnRowSelected(panel, 2);
	OnButtonClicked(panel, id_guide);
	ASSERT_EQ(ui.addresses.size(), 3u);
	EXPECT_EQ(ui.addresses[0], GuideUrlFor("YouTube"));
	EXPECT_EQ(ui.addresses[1], GuideUrlFor("Twitch"));
	EXPECT_EQ(ui.addresses[2], GuideUrlFor("Custom"));
	EXPECT_NE(GuideUrlFor("YouTube"), GuideUrlFor("Custom"));
}

TEST_F(PanelTest, HostStopKeepsTheErrorFlagAndReEvaluatesTheControls)
{
	ReportError(panel, "Something failed.");
	MakeRun(0, DestinationState::Sending);
	UpdateControlStates(panel);
	engine.runs.clear();
	OnStreamsStoppedByHost(panel);
	EXPECT_EQ(state.status_message, U(host_stopped_sentence));
	EXPECT_TRUE(state.status_error);
	EXPECT_TRUE(ui.IsEnabled(id_start));
	EXPECT_FALSE(ui.IsEnabled(id_stop));
}

TEST_F(PanelTest, LiveRefreshMarksOnlyWhatChangedAndAQuietPanelNothing)
{
	OnPanelDestroyed(state);
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows.size(), 4u) << "the first refresh after a new window repaints every row";
	EXPECT_EQ(ui.areas.size(), 2u) << "and the header and summary";

	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_TRUE(ui.rows.empty() && ui.areas.empty()) << "nothing changed, nothing repainted";

	store.settings.destinations[1].enabled = true;
	MakeRun(1, DestinationState::Connecting);
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1});
	ASSERT_EQ(ui.areas.size(), 1u) << "the header count changed; the summary did not";
	EXPECT_EQ(ui.areas[0], ScaleEdges(header_count_area, state.dpi));

	engine.runs[0]->state = DestinationState::Sending;
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1});
	EXPECT_EQ(ui.areas.size(), 1u);
}

// Drawing list checks.
const DrawOp *FindText(const DrawList &ops, const std::u16string &text)
{
	for (const DrawOp &op : ops)
		if (op.kind == DrawKind::Text && op.text == text)
			return &op;
	return nullptr;
}

TEST_F(PanelTest, PaintedLayoutScalesWithThePanelDpi)
{
	for (uint32_t dpi : {96u, 84u, 144u}) {
		SCOPED_TRACE(dpi);
		state.dpi = dpi;
		const DrawList ops = PaintPanel(panel);
		ASSERT_FALSE(ops.empty());
		EXPECT_EQ(ops[0].kind, DrawKind::FillRect);
		EXPECT_EQ(ops[0].rect, (Rect{0, 0, Scale(1000, dpi), Scale(748, dpi)}));
		EXPECT_EQ(ops[0].fill, color_window);

		std::vector<Rect> frames;
		for (const DrawOp &op : ops)
			if (op.kind == DrawKind::RoundRect && op.fill == color_field) {
				frames.push_back(op.rect);
				EXPECT_EQ(op.diameter, Scale(16, dpi));
			}
		ASSERT_EQ(frames.size(), 6u);
		for (int i = 0; i < edit_frame_count; i++)
			EXPECT_EQ(frames[i], ScaleRect(edit_frames[i].x, edit_frames[i].y, edit_frames[i].width, 38, dpi));
		const DrawOp *title = FindText(ops, u"Torvane");
		ASSERT_NE(title, nullptr);
		EXPECT_EQ(title->rect, ScaleEdges({24, 19, 424, 63}, dpi));
		EXPECT_EQ(title->font, FontRole::Title);
	}
	state.dpi = 144;
	const DrawList ops = PaintPanel(panel);
	bool card_found = false;
	for (const DrawOp &op : ops)
		if (op.kind == DrawKind::RoundRect && op.rect == ScaleEdges({20, 108, 320, 524}, 144)) {
			EXPECT_EQ(op.diameter, 42);
			card_found = true;
		}
	EXPECT_TRUE(card_found);
	const EditFrame *frame = FindEditFrame(id_name);
	EXPECT_EQ(EditFrameRect(*frame, 144).Height(), 57);
}

TEST_F(PanelTest, FocusedFieldFrameHasTheAccentBorderAndFocusChangesRepaintOnlyItsFrame)
{
	ui.focus = id_key;
	const DrawList ops = PaintPanel(panel);
	for (const DrawOp &op : ops) {
		if (op.kind != DrawKind::RoundRect || op.fill != color_field)
			continue;
		const bool key_frame = op.rect == EditFrameRect(*FindEditFrame(id_key), 96);
		EXPECT_EQ(op.border, key_frame ? color_accent : color_border);
	}
	ui.ForgetRequests();
	OnFieldFocusChanged(panel, id_key);
	ASSERT_EQ(ui.areas.size(), 1u);
	EXPECT_EQ(ui.areas[0], ScaleRect(358, 310, 508, 38, 96));
}

TEST_F(PanelTest, StatusLineTurnsRedOnAnErrorAndBackOnTheNextNotice)
{
	auto status_colour = [&]() {
		const DrawOp *op = FindText(PaintPanel(panel), state.status_message);
		return op ? op->fill : 0u;
	};
	EXPECT_EQ(status_colour(), color_muted);
	ReportError(panel, "Enter a video bitrate between 1000 and 8000 kbps.");
	EXPECT_EQ(status_colour(), color_error);
	OnButtonClicked(panel, id_1080p);
	EXPECT_EQ(status_colour(), color_muted);
}

TEST_F(PanelTest, ExactlyOneChipOfEachPairIsSelected)
{
	const Rect item{0, 0, 92, 36};
	for (int32_t height : {720, 1080})
		for (int32_t fps : {30, 60}) {
			store.settings.height = height;
			store.settings.fps = fps;
			int selected = 0;
			for (int32_t chip : {id_720p, id_1080p, id_30fps, id_60fps}) {
				const DrawList ops = PaintButton(panel, chip, item, {});
				const bool chosen = ops[1].fill == color_highlight && ops[1].border == color_accent;
				selected += chosen;
				EXPECT_EQ(chosen, (chip == id_720p && height == 720) || (chip == id_1080p && height == 1080) ||
							  (chip == id_30fps && fps == 30) || (chip == id_60fps && fps == 60));
			}
			EXPECT_EQ(selected, 2);
		}
}

TEST_F(PanelTest, ButtonStatesPaintHoverPressedAndDisabledColours)
{
	const Rect item{0, 0, 194, 43};
	EXPECT_EQ(PaintButton(panel, id_start, item, {})[1].fill, color_accent);
	OnButtonHovered(panel, id_start);
	EXPECT_EQ(PaintButton(panel, id_start, item, {})[1].fill, color_accent_hover);
	EXPECT_EQ(PaintButton(panel, id_start, item, {true, false})[1].fill, color_accent_pressed);
	ui.enabled[id_start] = false;
	const DrawList disabled = PaintButton(panel, id_start, item, {true, false});
	EXPECT_EQ(disabled[1].fill, color_disabled) << "a disabled button shows neither hover nor pressed";
	EXPECT_EQ(disabled[2].fill, color_disabled_text);

	ui.ForgetRequests();
	OnButtonHovered(panel, id_save);
	EXPECT_EQ(ui.controls, (std::vector<int32_t>{id_start, id_save})) << "moving between buttons repaints both";
	ui.ForgetRequests();
	OnButtonHovered(panel, 0);
	EXPECT_EQ(ui.controls, std::vector<int32_t>{id_save});
}

TEST_F(PanelTest, RowsShowTheTickTheHighlightAndTheStatusLine)
{
	store.settings.destinations[1].enabled = true;
	const Rect item{0, 0, 273, 62};
	const DrawList selected = PaintRow(panel, 0, item);
	EXPECT_EQ(selected[1].fill, color_highlight);
	EXPECT_EQ(selected[1].border, color_row_border);
	EXPECT_EQ(selected[2].fill, color_field) << "unticked box";

	const DrawList ticked = PaintRow(panel, 1, item);
	EXPECT_EQ(ticked[1].fill, color_card);
	EXPECT_EQ(ticked[2].fill, color_accent);
	EXPECT_EQ(ticked[3].kind, DrawKind::Polyline);
	EXPECT_EQ(ticked[3].points.size(), 3u);

	const DrawOp *name = FindText(ticked, u"Twitch");
	ASSERT_NE(name, nullptr);
	EXPECT_TRUE(name->flags & text_end_ellipsis);
	EXPECT_TRUE(name->flags & text_noprefix) << "an ampersand in a name is shown as typed";
	EXPECT_TRUE(PaintRow(panel, 7, item).empty());
}

TEST_F(PanelTest, PlatformHintFollowsTheSelectedPlatformExactly)
{
	EXPECT_EQ(std::u16string(PlatformHint(panel)),
		  u"Get your stream key from YouTube Live Control Room. Set the broadcast visibility there.");
	store.settings.destinations[0].platform = "youtube";
	EXPECT_EQ(std::u16string(PlatformHint(panel)), u"Paste the server URL and key from your streaming provider.");
	state.selected_index = -1;
	EXPECT_EQ(std::u16string(PlatformHint(panel)), u"Paste the server URL and key from your streaming provider.");
}

} // namespace
