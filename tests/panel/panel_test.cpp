// The panel's behaviour through a recording toolkit; saves reach a real file.
#include "panel/commands.h"
#include "panel/form.h"
#include "panel/list.h"
#include "panel/refresh.h"
#include "panel/guides.h"
#include "panel/painting.h"
#include "panel/theme.h"
#include "settings/document.h"
#include "settings/utf8.h"
#include "tests/support/destinations.h"
#include "tests/support/system.h"

#include "fake_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace torvane;

namespace {

class PanelTest : public testing::Test {
protected:
	void SetUp() override
	{
		store.settings_path = Utf8ToWide(test::TestWorkDir() + "/settings.dpapi");
		store.settings = DefaultSettings();
		store.load_attempted = true;
		InitializeControls(panel);
		ui.ForgetRequests();
	}
	void TearDown() override { engine.runs.clear(); }

	bool Saved() const { return std::filesystem::exists(WideToUtf8(store.settings_path)); }
	PanelSettings Reload() const
	{
		PanelSettings loaded;
		std::string message;
		EXPECT_TRUE(LoadSettingsFile(store.settings_path, loaded, message)) << message;
		return loaded;
	}
	void Type(int32_t id, const std::string &text)
	{
		ui.texts[id] = Utf8ToWide(text);
		OnFieldEdited(panel, id);
	}
	std::u16string Status() const { return Utf8ToWide(controller.status.text); }
	std::u16string Notice() const { return ui.notices.empty() ? u"" : ui.notices.back(); }

	FakeUi ui;
	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	Controller controller{store, engine, nullptr, nullptr};
	Panel panel{ui, state, controller};
};

TEST(PanelRules, DpiScalingAndBitrateParsing)
{
	EXPECT_EQ(ChoosePanelDpi(96, 1920, 1040), 96u);
	EXPECT_EQ(ChoosePanelDpi(144, 1920, 1032), 123u); // fits the height, below the host
	EXPECT_EQ(ChoosePanelDpi(96, 0, 0), 72u);
	EXPECT_EQ(Scale(1, 144), 2);
	EXPECT_EQ(Scale(-1, 144), -2);
	EXPECT_EQ(ScaleRect(20, 0, 33, 10, 84).right, ScaleRect(53, 0, 33, 10, 84).left);

	EXPECT_EQ(ParseBitrate(u" +4500"), 4500);
	EXPECT_EQ(ParseBitrate(u"-12"), -12);
	for (const char16_t *bad : {u"4500 ", u"4500k", u"", u"99999999999"})
		EXPECT_EQ(ParseBitrate(bad), 0) << WideToUtf8(bad);
}

TEST(PanelRules, NavigationKeysMoveLikeTheWindowsListView)
{
	// 10 rows, rows 2 to 5 visible.
	using K = ListKey;
	const std::tuple<ListKey, int32_t, int32_t> cases[] = {
		{K::Up, 0, 0},       {K::Down, 9, 9},     {K::Down, -1, 0},  {K::Home, 6, 0},  {K::End, 1, 9},
		{K::PageDown, 3, 5}, {K::PageDown, 5, 8}, {K::PageUp, 4, 2}, {K::PageUp, 2, 0}};
	for (const auto &[key, current, expected] : cases)
		EXPECT_EQ(ListKeyTarget(key, current, 10, 2, 4), expected) << int(key) << " from " << current;
	EXPECT_EQ(ListKeyTarget(ListKey::End, -1, 0, 0, 4), -1);
}

TEST_F(PanelTest, FormCommitsFieldsAndReloadsOnSelectionWithSecretsMasked)
{
	Type(id_name, "My channel");
	Type(id_key, "key123");
	Type(id_password, "secret");
	OnButtonClicked(panel, id_show);
	EXPECT_FALSE(ui.IsMasked(id_key) || ui.IsMasked(id_password));
	EXPECT_EQ(ui.Text(id_show), u"Hide");

	OnRowSelected(panel, 1);
	const Destination &d = store.settings.destinations[0];
	EXPECT_EQ(d.name + "|" + d.key + "|" + d.password, "My channel|key123|secret");
	EXPECT_EQ(ui.Text(id_name), u"Twitch");
	EXPECT_TRUE(ui.IsMasked(id_key) && ui.IsMasked(id_password));
	EXPECT_EQ(ui.Text(id_show), u"Show");
	EXPECT_EQ(ui.list_invalidations, 1);
}

TEST_F(PanelTest, CustomSelectsTheNewRowAndRemoveAsksFirst)
{
	OnButtonClicked(panel, id_custom);
	ASSERT_EQ(store.settings.destinations.size(), 5u);
	EXPECT_EQ(ui.Text(id_name), u"Custom 5");
	EXPECT_EQ(state.selected_index, 4);
	EXPECT_EQ(ui.focus, id_name);

	OnRowSelected(panel, 1);
	ui.answers = {false};
	OnButtonClicked(panel, id_remove);
	EXPECT_EQ(ui.questions.size(), 1u);
	EXPECT_EQ(store.settings.destinations.size(), 5u);
	test::AddRun(engine, 1, DestinationState::Ready); // the removed row's record goes with it
	test::AddRun(engine, 2, DestinationState::Failed);
	ui.answers = {true};
	OnButtonClicked(panel, id_remove);
	EXPECT_EQ(ui.Text(id_name), u"Kick") << "the next row takes the place";
	EXPECT_EQ(engine.GetStats(1).state, DestinationState::Failed) << "with its own run record";
	EXPECT_EQ(engine.runs.size(), 1u);
	EXPECT_EQ(Reload().destinations.size(), 4u) << "saved at once";
	EXPECT_TRUE(ui.notices.empty());
}

// The quality chips and the bitrate as typed wait for Save. A refused click
// shows its sentence in a box as well as on the status line, and so does a
// start whose scene is gone.
TEST_F(PanelTest, SaveTakesTheQualityAndBitrateAsChosenAndCompletesKickUrls)
{
	OnButtonClicked(panel, id_720p);
	OnButtonClicked(panel, id_60fps);
	EXPECT_EQ(std::count(ui.controls.begin(), ui.controls.end(), id_30fps), 2) << "the chips are repainted";
	Type(id_bitrate, "4500 kbps");
	OnButtonClicked(panel, id_save);
	EXPECT_EQ(Notice(), u"Enter a video bitrate between 1000 and 8000 kbps.");
	EXPECT_EQ(Status(), Notice());
	EXPECT_FALSE(Saved());
	Type(id_bitrate, "8000");
	OnRowSelected(panel, 2);
	Type(id_server, "rtmps://fa723fc1b171.global-contribute.live-video.net");
	OnServerFocusLost(panel);
	EXPECT_EQ(ui.Text(id_server), u"rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	OnRowSelected(panel, 3); // an SRT URL's hint; its secrets go to their masked fields
	Type(id_server, "srt://h:9000?streamid=live&passphrase=0123456789");
	EXPECT_EQ(PlatformHint(panel).substr(0, 4), u"SRT:");
	OnServerFocusLost(panel);
	EXPECT_EQ(ui.Text(id_server) + u" " + ui.Text(id_key) + u" " + ui.Text(id_password),
		  u"srt://h:9000 live 0123456789");
	OnButtonClicked(panel, id_save);
	const PanelSettings saved = Reload();
	EXPECT_EQ(std::tuple(saved.bitrate, saved.height, saved.fps), std::tuple(8000, 720, 60));
	EXPECT_EQ(ui.notices.size(), 1u);
	Destination &twitch = store.settings.destinations[1];
	std::tie(twitch.key, twitch.enabled, twitch.picture) =
		std::tuple("k", true, Picture{PictureKind::Scene, "Gone"});
	OnButtonClicked(panel, id_start);
	EXPECT_EQ(WideToUtf8(Notice()), Tr(Txt::SceneMissing, {"2", "Gone"}));
}

// The own quality row is usable while the selected destination has its own quality, edits only that
// one, and an encoder button offers the choices in a menu.
TEST_F(PanelTest, OwnQualityRowEditsTheSelectedDestinationOnly)
{
	EXPECT_FALSE(ui.IsEnabled(id_own_bitrate));
	OnButtonClicked(panel, id_own);
	EXPECT_TRUE(ui.IsEnabled(id_own_bitrate) && ui.IsEnabled(id_own_encoder));
	OnButtonClicked(panel, id_own_720p);
	Type(id_own_bitrate, "2500");
	ui.menu_choice = 0; // without OBS: the hardware choice, then x264 as this OBS lacks it
	OnButtonClicked(panel, id_own_encoder);
	ASSERT_EQ(ui.menus.size(), 1u);
	EXPECT_EQ(ui.menus[0].size(), 3u); // and OBS's own stream's encode last
	EXPECT_EQ(QualityOf(store.settings, store.settings.destinations[0]),
		  (Quality{720, 30, 2500, hardware_h264_encoder}));
	EXPECT_EQ(SharedQuality(store.settings), (Quality{1080, 30, 4500, "obs_x264"}));
	EXPECT_EQ(ui.Text(id_own_encoder), Tr16(Txt::HardwareH264));
	// OBS's encode has its own size, rate and bitrate; another encoder takes the own quality back.
	for (int32_t choice : {1, 0}) { // now the hardware choice alone, then OBS's
		ui.menu_choice = choice;
		OnButtonClicked(panel, id_own_encoder);
		EXPECT_EQ(FollowsObsEncoder(store.settings.destinations[0]), choice == 1);
		EXPECT_EQ(ui.IsEnabled(id_own_bitrate), choice != 1);
		EXPECT_EQ(ui.Text(id_own_encoder), Tr16(choice == 1 ? Txt::SameAsObs : Txt::HardwareH264));
	}

	OnRowSelected(panel, 1);
	EXPECT_FALSE(ui.IsEnabled(id_own_720p));
	EXPECT_EQ(ui.Text(id_own_bitrate), u"4500") << "the shared quality, which it streams at";
}

TEST_F(PanelTest, EnableRulesFollowTheEngineTheStoreAndTheSelection)
{
	const int32_t always[] = {id_list, id_coffee};
	const int32_t editing[] = {id_bitrate, id_save, id_custom, id_720p, id_1080p, id_30fps, id_60fps, id_relay};
	const int32_t selection[] = {id_name,     id_server, id_key,    id_username,
				     id_password, id_show,   id_remove, id_guide};
	auto expect = [&](bool edit, bool select, bool start, bool stop) {
		for (int32_t id : always)
			EXPECT_TRUE(ui.IsEnabled(id)) << id;
		for (int32_t id : editing)
			EXPECT_EQ(ui.IsEnabled(id), edit) << id;
		for (int32_t id : selection)
			EXPECT_EQ(ui.IsEnabled(id), select) << id;
		EXPECT_EQ(ui.IsEnabled(id_start), start);
		EXPECT_EQ(ui.IsEnabled(id_stop), stop);
	};
	expect(true, true, true, false);
	test::AddRun(engine, 0, DestinationState::Connecting);
	OnButtonClicked(panel, id_stop); // every command brings the controls up to date
	expect(false, false, false, true);
	EXPECT_EQ(controller.status.text, Tr(Txt::Stopping));
	engine.runs.clear();
	store.usable = false;
	UpdateControlStates(panel);
	expect(false, false, false, false);
	store.usable = true;
	store.settings.destinations.clear();
	RebuildRows(panel);
	UpdateControlStates(panel);
	expect(true, false, true, false);
}

TEST_F(PanelTest, TicksToggleWhenIdleAndFreezeWhileBusy)
{
	ToggleTick(panel, 2);
	EXPECT_TRUE(store.settings.destinations[2].enabled);
	EXPECT_EQ(state.selected_index, 2) << "toggling selects the row";
	EXPECT_GE(ui.panel_invalidations, 1) << "the header count and budget follow the tick";
	OnTickChanged(panel, 3, true);
	EXPECT_TRUE(store.settings.destinations[3].enabled);
	EXPECT_EQ(state.selected_index, 2) << "a tick the list changes keeps the selection";

	test::AddRun(engine, 2, DestinationState::Sending);
	ToggleTick(panel, 1);
	EXPECT_FALSE(store.settings.destinations[1].enabled);
	EXPECT_EQ(state.selected_index, 2) << "a refused toggle does not even select";
	OnRowSelected(panel, 1);
	EXPECT_EQ(state.selected_index, 1) << "selection stays free while streaming";
}

TEST_F(PanelTest, RelayMenuAndClosingSavesWhenIdleAndOnlyHidesWhenBusyOrUnusable)
{
	Type(id_bitrate, "12");
	EXPECT_FALSE(OnCloseRequested(panel)) << "a failed save keeps the panel open";
	EXPECT_FALSE(ui.hidden);
	Type(id_bitrate, "4500");
	Type(id_key, "kept-on-close");
	OnButtonClicked(panel, id_show);
	// The relay's menu: on, its URL and its key typed in boxes (the key masked), then the export.
	store.settings.destinations[0].enabled = true;
	ui.typed = {u"rtmp://127.0.0.1:1935/live", u" relay-key-0123 "};
	for (int32_t entry : {0, 1, 2, 3}) {
		ui.menu_choice = entry;
		OnButtonClicked(panel, id_relay);
	}
	EXPECT_EQ(ui.text_masks, (std::vector<bool>{false, true}));
	EXPECT_EQ(ui.menus[3][2], Tr16(Txt::RelayKeySet)) << "the menu shows only that a key is set";
	EXPECT_EQ(WideToUtf8(Status()), Tr(Txt::RelayExported, {test::TestWorkDir() + "/relay/nginx.conf"}));
	EXPECT_TRUE(OnCloseRequested(panel));
	EXPECT_TRUE(ui.hidden && ui.IsMasked(id_key));
	const PanelSettings saved = Reload();
	EXPECT_EQ(std::tuple(saved.destinations[0].key, saved.relay.enabled, saved.relay.ingest, saved.relay.key),
		  std::tuple("kept-on-close", true, "rtmp://127.0.0.1:1935/live", "relay-key-0123"));

	std::filesystem::remove(WideToUtf8(store.settings_path));
	test::AddRun(engine, 0, DestinationState::Sending);
	EXPECT_TRUE(OnCloseRequested(panel));
	engine.runs.clear();
	store.usable = false;
	EXPECT_TRUE(OnCloseRequested(panel));
	EXPECT_FALSE(Saved());
	store.load_error = "unreadable";
	OnPanelOpened(panel);
	EXPECT_EQ(Notice(), u"unreadable") << "each opening says why";
}

TEST_F(PanelTest, LiveRefreshMarksOnlyWhatChanged)
{
	OnPanelDestroyed(state);
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows.size(), 4u);
	EXPECT_EQ(ui.areas.size(), 4u) << "the header, summary, budget and status line";
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_TRUE(ui.rows.empty() && ui.areas.empty());

	store.settings.destinations[1].enabled = true;
	test::AddRun(engine, 1, DestinationState::Connecting);
	ui.ForgetRequests();
	LiveRefresh(panel);
	EXPECT_EQ(ui.rows, std::vector<int32_t>{1});
	EXPECT_EQ(ui.areas, (std::vector<Rect>{ScaleEdges(header_count_area, state.dpi),
					       ScaleEdges(upload_budget_area, state.dpi)}));
}

// A known platform's hint names it and its guide is on its own site; any
// other name and no selection get the generic ones.
TEST_F(PanelTest, PlatformHintsAndGuidesFollowTheSelectedPlatform)
{
	OnButtonClicked(panel, id_guide);
	EXPECT_NE(WideToUtf8(PlatformHint(panel)).find("YouTube"), std::string::npos);
	store.settings.destinations[0].platform = "youtube"; // the match is exact
	OnButtonClicked(panel, id_guide);
	ASSERT_EQ(ui.addresses.size(), 2u);
	EXPECT_EQ(ui.addresses[0], guide_youtube_url);
	EXPECT_EQ(ui.addresses[1], guide_default_url);
	const std::u16string generic = PlatformHint(panel);
	EXPECT_EQ(generic, u"Paste the server URL and key from your streaming provider.");
	state.selected_index = -1;
	EXPECT_EQ(PlatformHint(panel), generic);
}

TEST_F(PanelTest, PaintingFollowsErrorsHoverPressAndDisabledStates)
{
	auto status_colour = [&]() {
		for (const DrawOp &op : PaintPanel(panel))
			if (op.kind == DrawKind::Text && op.text == Status())
				return op.fill;
		return Color();
	};
	EXPECT_EQ(status_colour(), color_muted);
	controller.status = {"Enter a video bitrate between 1000 and 8000 kbps.", true};
	EXPECT_EQ(status_colour(), color_error);

	const Rect item{0, 0, 194, 43};
	OnButtonHovered(panel, id_start);
	EXPECT_EQ(PaintButton(panel, id_start, item, {})[1].fill, color_accent_hover);
	EXPECT_EQ(PaintButton(panel, id_start, item, {true, false})[1].fill, color_accent_pressed);
	ui.enabled[id_start] = false;
	EXPECT_EQ(PaintButton(panel, id_start, item, {true, false})[1].fill, color_disabled);
	ui.ForgetRequests();
	OnButtonHovered(panel, id_save);
	EXPECT_EQ(ui.controls, (std::vector<int32_t>{id_start, id_save})) << "both buttons repaint";

	state.dpi = 144; // the whole painting scales with the panel's DPI
	int frame = 0;
	for (const DrawOp &op : PaintPanel(panel))
		if (op.kind == DrawKind::RoundRect && op.fill == color_field) {
			ASSERT_LT(frame, edit_frame_count);
			EXPECT_EQ(op.rect, EditFrameRect(edit_frames[frame++], 144));
		}
	EXPECT_EQ(frame, edit_frame_count);
	EXPECT_EQ(PaintPanel(panel)[0].rect, (Rect{0, 0, 1500, 1122}));

	EXPECT_TRUE(PaintRow(panel, 7, item).empty());
}

} // namespace
