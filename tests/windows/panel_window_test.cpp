// The Win32 panel of torvane.dll under Wine, driven through the Tools menu
// entry and window messages against the stub host.
#include "panel_harness.h"

#include <dpapi.h>
#include <obs.h>

#include <fstream>
#include <random>

using namespace panel_testing;
namespace fs = std::filesystem;

namespace {

constexpr COLORREF window_bg = RGB(0x0A, 0x11, 0x1C);
constexpr COLORREF field_bg = RGB(0x0B, 0x15, 0x23);
constexpr COLORREF card_bg = RGB(0x12, 0x1D, 0x2C);
constexpr COLORREF border = RGB(0x28, 0x3A, 0x4F);
constexpr COLORREF highlight = RGB(0x1A, 0x34, 0x4D);
constexpr COLORREF row_border = RGB(0x43, 0x74, 0x9B);
constexpr COLORREF box_border = RGB(0x4B, 0x60, 0x77);
constexpr COLORREF hover = RGB(0x22, 0x39, 0x50);
constexpr COLORREF disabled = RGB(0x15, 0x1F, 0x2B);
constexpr COLORREF accent = RGB(0x84, 0xCC, 0xFF);
constexpr COLORREF muted = RGB(0x92, 0xA5, 0xBC);

int S(int value, int dpi = 96)
{
	return MulDiv(value, dpi, 96);
}

std::vector<uint8_t> ReadFile(const fs::path &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings document inside a saved file, unprotected with this account.
std::string OpenedDocument(const fs::path &path)
{
	std::vector<uint8_t> bytes = ReadFile(path);
	if (bytes.size() < 5 || std::string(bytes.begin(), bytes.begin() + 4) != "TRV1")
		return "";
	DATA_BLOB sealed = {static_cast<DWORD>(bytes.size() - 4), bytes.data() + 4};
	DATA_BLOB opened = {};
	if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &opened))
		return "";
	std::string json(reinterpret_cast<const char *>(opened.pbData), opened.cbData);
	LocalFree(opened.pbData);
	return json;
}

class Win32Panel : public testing::Test {
protected:
	void SetUp() override
	{
		SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
		std::random_device random;
		config = fs::temp_directory_path() / ("torvane-panel-" + std::to_string(random()));
		fs::create_directories(config);
		ASSERT_TRUE(module.Load(config));
		TakeBoxes();
	}

	void TearDown() override
	{
		module.Unload();
		EXPECT_EQ(FindPanel(), nullptr) << "unload leaves no panel window";
		std::error_code ignored;
		fs::remove_all(config, ignored);
	}

	HWND Open()
	{
		module.PickMenuEntry();
		return FindPanel();
	}

	fs::path SettingsFile() const { return config / "settings.dpapi"; }

	fs::path config;
	LoadedModule module;
};

// --- The window ------------------------------------------------------------------

TEST_F(Win32Panel, TheMenuEntryOpensOneCentredWindowAndASecondPickOnlyRaisesIt)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	EXPECT_EQ(WindowText(panel), L"Torvane \u2014 Multistream for OBS");
	EXPECT_TRUE(IsWindowVisible(panel));
	const DWORD style = static_cast<DWORD>(GetWindowLongW(panel, GWL_STYLE));
	// Top-level windows always clip their siblings.
	EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x02CA0000u);
	EXPECT_TRUE(GetWindowLongW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

	RECT client = {};
	GetClientRect(panel, &client);
	EXPECT_EQ(client.right, 1000);
	EXPECT_EQ(client.bottom, 748);

	MONITORINFO monitor = {};
	monitor.cbSize = sizeof(monitor);
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	RECT frame = {};
	GetWindowRect(panel, &frame);
	const RECT &work = monitor.rcWork;
	EXPECT_LE(std::abs((frame.left - work.left) - (work.right - frame.right)), 1);
	EXPECT_LE(std::abs((frame.top - work.top) - (work.bottom - frame.bottom)), 1);

	// Closing hides; picking the entry again shows the same window.
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	EXPECT_EQ(Open(), panel);
	EXPECT_TRUE(IsWindowVisible(panel));
	ShowWindow(panel, SW_MINIMIZE);
	EXPECT_EQ(Open(), panel);
	EXPECT_FALSE(IsIconic(panel));
	EXPECT_EQ(FindWindowExW(nullptr, panel, L"TorvaneWindow", nullptr), nullptr) << "a second window was made";
}

TEST_F(Win32Panel, PaintsTheLayoutColours)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	const Screenshot shot = Capture(panel);
	ASSERT_TRUE(shot.Save(ScreenshotDir() / "panel-96dpi.bmp"));

	EXPECT_EQ(shot.At(5, 5), window_bg);
	EXPECT_EQ(shot.At(25, 515), card_bg) << "destinations card";
	EXPECT_EQ(shot.At(970, 515), card_bg) << "connection card";
	// Wine draws GDI+ paths without anti-aliasing and rounds the half-pixel
	// outline one pixel inwards; Windows puts it on the edge pixel.
	EXPECT_TRUE(shot.At(20, 300) == border || shot.At(21, 300) == border) << "card outline";
	EXPECT_EQ(shot.At(775, 45), highlight) << "header pill";
	EXPECT_EQ(shot.At(362, 200), field_bg) << "field frame";
	EXPECT_TRUE(shot.At(660, 182) == border || shot.At(660, 183) == border) << "field frame outline";
	EXPECT_EQ(shot.At(930, 200), field_bg) << "the name field itself";
	EXPECT_EQ(shot.At(930, 170), card_bg) << "a label";
	EXPECT_EQ(shot.At(30, 700), accent) << "Start all";
	EXPECT_EQ(shot.At(240, 700), disabled) << "Stop all is disabled while idle";
	EXPECT_EQ(shot.At(830, 700), card_bg) << "Save settings";
}

// --- The controls ------------------------------------------------------------------

struct ExpectedControl {
	int id;
	const wchar_t *class_name;
	const wchar_t *caption;
	DWORD own_style;
	int x, y, width, height;
};

// In creation order, which is the order of the panel's children.
const ExpectedControl expected_controls[] = {
	{101, L"SysListView32", L"Destinations", 0x440D, 32, 184, 278, 264},
	{112, L"Button", L"+ Custom", BS_OWNERDRAW, 37, 469, 153, 36},
	{113, L"Button", L"Remove", BS_OWNERDRAW, 201, 469, 102, 36},
	{114, L"Button", L"Setup guide \u2197", BS_OWNERDRAW, 807, 120, 151, 32},
	{0, L"Static", L"Destination name", 0, 358, 162, 580, 20},
	{102, L"Edit", L"YouTube", ES_AUTOHSCROLL, 369, 191, 578, 21},
	{0, L"Static", L"Server URL", 0, 358, 226, 580, 20},
	{103, L"Edit", nullptr, ES_AUTOHSCROLL, 369, 255, 578, 21},
	{0, L"Static", L"Stream key", 0, 358, 290, 580, 20},
	{104, L"Edit", L"", ES_AUTOHSCROLL | ES_PASSWORD, 369, 319, 486, 21},
	{108, L"Button", L"Show", BS_OWNERDRAW, 876, 310, 82, 38},
	{0, L"Static", L"Username", 0, 358, 417, 280, 20},
	{105, L"Edit", L"", ES_AUTOHSCROLL, 369, 447, 268, 21},
	{0, L"Static", L"Password", 0, 668, 417, 280, 20},
	{106, L"Edit", L"", ES_AUTOHSCROLL | ES_PASSWORD, 679, 447, 268, 21},
	{115, L"Button", L"720p", BS_OWNERDRAW, 218, 578, 92, 36},
	{116, L"Button", L"1080p", BS_OWNERDRAW, 316, 578, 100, 36},
	{117, L"Button", L"30 fps", BS_OWNERDRAW, 448, 578, 88, 36},
	{118, L"Button", L"60 fps", BS_OWNERDRAW, 542, 578, 88, 36},
	{107, L"Edit", L"4500", ES_AUTOHSCROLL, 669, 585, 109, 21},
	{110, L"Button", L"Start all", BS_OWNERDRAW, 20, 671, 194, 43},
	{111, L"Button", L"Stop all", BS_OWNERDRAW, 228, 671, 123, 43},
	{109, L"Button", L"Save settings", BS_OWNERDRAW, 816, 671, 164, 43},
	{119, L"Button", L"Buy me a coffee (opens browser)", BS_OWNERDRAW, 790, 720, 190, 31},
};

LOGFONTW FontOf(HWND control)
{
	LOGFONTW font = {};
	GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
	return font;
}

TEST_F(Win32Panel, MakesTheTwentyFourControlsInOrderWithTheirStylesPlacesLimitsAndMasks)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	std::vector<HWND> children;
	for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
		children.push_back(child);
	ASSERT_EQ(children.size(), 24u);

	for (size_t i = 0; i < children.size(); i++) {
		const ExpectedControl &e = expected_controls[i];
		HWND c = children[i];
		SCOPED_TRACE(testing::Message() << "control " << i + 1 << " (" << e.id << ")");
		EXPECT_EQ(GetDlgCtrlID(c), e.id);
		EXPECT_EQ(ClassName(c), e.class_name);
		if (e.caption) {
			EXPECT_EQ(WindowText(c), e.caption);
		}
		const auto style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
		EXPECT_EQ(style & 0xFFFF, e.own_style);
		const DWORD common = e.id ? WS_CHILD | WS_VISIBLE | WS_TABSTOP : WS_CHILD | WS_VISIBLE;
		EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP), common);
		EXPECT_EQ(GetWindowLongW(c, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
		const RECT r = ChildRect(panel, c);
		EXPECT_EQ(r.left, e.x);
		EXPECT_EQ(r.top, e.y);
		EXPECT_EQ(r.right - r.left, e.width);
		EXPECT_EQ(r.bottom - r.top, e.height);

		const LOGFONTW font = FontOf(c);
		EXPECT_EQ(font.lfHeight, e.id ? -15 : -12);
		EXPECT_EQ(font.lfWeight, 400);
		EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
		EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);

		if (std::wstring(e.class_name) == L"Edit") {
			EXPECT_EQ(SendMessageW(c, EM_GETLIMITTEXT, 0, 0), e.id == 102 ? 100 : 4096);
			EXPECT_EQ(SendMessageW(c, EM_GETPASSWORDCHAR, 0, 0), (e.own_style & ES_PASSWORD) ? 0x2022 : 0);
		}
	}

	HWND list = children[0];
	EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x10024, 0x10024);
	EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), 0x2C1D12);
	EXPECT_EQ(SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0), 0x2C1D12);
	EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), 0xFFF5ED);
	EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 273);
	int width = 0, height = 0;
	ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
			      &width, &height);
	EXPECT_EQ(width, 1);
	EXPECT_EQ(height, 62);
	ASSERT_EQ(RowCount(list), 4);
	RECT row = {};
	row.left = LVIR_BOUNDS;
	SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
	EXPECT_EQ(row.bottom - row.top, 62);

	// The name field stops at 100 characters.
	Type(Child(panel, 102), std::wstring(120, L'n'));
	EXPECT_EQ(WindowText(Child(panel, 102)).size(), 100u);
}

TEST_F(Win32Panel, TabAndShiftTabFollowTheCreationOrderSkippingLabelsAndDisabledControls)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	HWND list = Child(panel, 101);
	SetFocus(list);
	const std::vector<int> order = {112, 113, 114, 102, 103, 104, 108, 105, 106,
					115, 116, 117, 118, 107, 110, 109, 119, 101};
	std::vector<int> seen;
	for (size_t i = 0; i < order.size(); i++) {
		PressKey(GetFocus(), VK_TAB);
		seen.push_back(GetDlgCtrlID(GetFocus()));
	}
	EXPECT_EQ(seen, order);

	std::vector<int> back;
	for (size_t i = 0; i < 3; i++) {
		PressKey(GetFocus(), VK_TAB, true);
		back.push_back(GetDlgCtrlID(GetFocus()));
	}
	EXPECT_EQ(back, (std::vector<int>{119, 109, 110}));
}

// A list row's item rectangle in the panel's client coordinates.
RECT RowItem(HWND panel, int row)
{
	RECT r = {};
	r.left = LVIR_BOUNDS;
	SendMessageW(Child(panel, 101), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
	MapWindowPoints(Child(panel, 101), panel, reinterpret_cast<POINT *>(&r), 2);
	return r;
}

// Where a row paints its status line (96 DPI).
RECT RowStatus(HWND panel, int row)
{
	const RECT item = RowItem(panel, row);
	return {item.left + 1 + 40, item.top + 3 + 32, item.right - 5 - 8, item.bottom - 3 - 4};
}

// A point inside a row's tick box, away from its outline and check mark, also
// where the list draws its rows a few pixels further right.
POINT TickBoxInside(HWND panel, int row)
{
	const RECT item = RowItem(panel, row);
	return {item.left + 1 + 9 + 7, item.top + 3 + 18 + 15};
}

// --- Input --------------------------------------------------------------------------

TEST_F(Win32Panel, TheTickStripTogglesAndSelectsSpaceTogglesAClickFurtherRightOnlySelects)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	HWND list = Child(panel, 101);
	HWND name = Child(panel, 102);

	Click(list, 10, 62 + 31);
	EXPECT_TRUE(RowTicked(list, 1));
	EXPECT_EQ(SelectedRow(list), 1);
	EXPECT_EQ(WindowText(name), L"Twitch");
	EXPECT_EQ(GetFocus(), list);
	Screenshot shot = Capture(panel);
	const POINT ticked = TickBoxInside(panel, 1), unticked = TickBoxInside(panel, 0);
	EXPECT_EQ(shot.At(ticked.x, ticked.y), accent) << "row 1's tick box";
	EXPECT_EQ(shot.At(unticked.x, unticked.y), field_bg) << "row 0 stays unticked";
	EXPECT_EQ(shot.At(32 + 150, 184 + 62 + 10), highlight) << "the selected row";
	EXPECT_EQ(shot.At(32 + 150, 184 + 10), card_bg);

	PressKey(list, VK_SPACE);
	EXPECT_FALSE(RowTicked(list, 1));

	Click(list, 150, 2 * 62 + 31);
	EXPECT_EQ(SelectedRow(list), 2);
	EXPECT_FALSE(RowTicked(list, 2));
	EXPECT_EQ(WindowText(name), L"Kick");

	// A tick the list changes by itself reaches the model: the pill counts it.
	LVITEMW tick = {};
	tick.stateMask = LVIS_STATEIMAGEMASK;
	tick.state = INDEXTOSTATEIMAGEMASK(2);
	SendMessageW(list, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&tick));
	Pump();
	EXPECT_TRUE(RowTicked(list, 3));
	const RECT pill = {781, 25, 969, 64}, pill_inside = {800, 28, 950, 61};
	EXPECT_EQ(TextDifference(Capture(panel), pill, pill_inside, L"1 enabled  \u00B7  Ready", 15, 400, accent,
				 highlight, DT_CENTER | DT_VCENTER | DT_SINGLELINE),
		  0);
	tick.state = INDEXTOSTATEIMAGEMASK(1);
	SendMessageW(list, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&tick));
	Pump();

	// Below the last row: nothing to toggle, the list still takes the focus.
	SetFocus(name);
	Click(list, 10, 4 * 62 + 8);
	EXPECT_EQ(GetFocus(), list);
	for (int row = 0; row < 4; row++)
		EXPECT_FALSE(RowTicked(list, row));
	EXPECT_EQ(SelectedRow(list), 2);
}

TEST_F(Win32Panel, TypedFieldsAreSavedEncryptedAndComeBackOnTheNextLoad)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	Type(Child(panel, 102), L"  My YouTube  ");
	Type(Child(panel, 104), L"yt-secret-key");
	Type(Child(panel, 106), L" pass word ");
	Click(Child(panel, 109));
	EXPECT_TRUE(TakeBoxes().empty());
	ASSERT_TRUE(fs::exists(SettingsFile()));
	const std::string document = OpenedDocument(SettingsFile());
	EXPECT_NE(document.find("\"name\":\"My YouTube\""), std::string::npos) << document;
	EXPECT_NE(document.find("\"key\":\"yt-secret-key\""), std::string::npos) << document;
	EXPECT_NE(document.find("\"password\":\" pass word \""), std::string::npos) << document;
	const std::vector<uint8_t> raw = ReadFile(SettingsFile());
	EXPECT_EQ(std::string(raw.begin(), raw.end()).find("yt-secret-key"), std::string::npos);
	// The list shows the saved name.
	wchar_t text[64] = {};
	LVITEMW item = {};
	item.pszText = text;
	item.cchTextMax = 64;
	SendMessageW(Child(panel, 101), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
	EXPECT_STREQ(text, L"My YouTube");

	module.Unload();
	ASSERT_TRUE(module.Load(config));
	panel = Open();
	ASSERT_NE(panel, nullptr);
	EXPECT_EQ(WindowText(Child(panel, 102)), L"My YouTube");
	EXPECT_EQ(WindowText(Child(panel, 104)), L"yt-secret-key");
	EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Win32Panel, RemoveAsksAndOnYesRemovesAndSavesAtOnce)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	HWND list = Child(panel, 101);
	Click(list, 150, 3 * 62 + 31);
	ASSERT_EQ(SelectedRow(list), 3);

	QueueBoxAnswer(IDNO);
	Click(Child(panel, 113));
	std::vector<MessageBoxRecord> boxes = TakeBoxes();
	ASSERT_EQ(boxes.size(), 1u);
	EXPECT_EQ(boxes[0].caption, L"Torvane");
	EXPECT_EQ(boxes[0].text, L"Remove this destination and its saved credentials?");
	EXPECT_EQ(RowCount(list), 4);
	EXPECT_FALSE(fs::exists(SettingsFile()));

	QueueBoxAnswer(IDYES);
	Click(Child(panel, 113));
	boxes = TakeBoxes();
	ASSERT_EQ(boxes.size(), 1u);
	EXPECT_EQ(RowCount(list), 3);
	EXPECT_EQ(SelectedRow(list), 2) << "the new last row";
	EXPECT_EQ(WindowText(Child(panel, 102)), L"Kick");
	ASSERT_TRUE(fs::exists(SettingsFile()));
	EXPECT_EQ(OpenedDocument(SettingsFile()).find("Patreon"), std::string::npos);
}

TEST_F(Win32Panel, ABitrateOutOfRangeIsReportedInABoxAndNothingIsWritten)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	Type(Child(panel, 107), L"12");
	Click(Child(panel, 109));
	const std::vector<MessageBoxRecord> boxes = TakeBoxes();
	ASSERT_EQ(boxes.size(), 1u);
	EXPECT_EQ(boxes[0].caption, L"Torvane");
	EXPECT_EQ(boxes[0].text, L"Enter a video bitrate between 1000 and 8000 kbps.");
	EXPECT_FALSE(fs::exists(SettingsFile()));
	// The status line turns to the error colour: compare its first words.
	const Screenshot shot = Capture(panel);
	const RECT status = {369, 672, 792, 715};
	EXPECT_EQ(TextDifference(shot, status, status, L"Enter a video bitrate between 1000 and 8000 kbps.", 12, 400,
				 RGB(0xFF, 0x9B, 0x9B), window_bg, DT_WORDBREAK | DT_NOPREFIX),
		  0);
}

TEST_F(Win32Panel, HoverFocusAndShowRepaintWhatTheyTouch)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	Hover(Child(panel, 109));
	Screenshot shot = Capture(panel);
	EXPECT_EQ(shot.At(830, 700), hover) << "hovered Save settings";
	Hover(Child(panel, 119));
	shot = Capture(panel);
	EXPECT_EQ(shot.At(830, 700), card_bg) << "left Save settings";
	EXPECT_EQ(shot.At(970, 735), highlight) << "the coffee pill shows while hovered";

	SetFocus(Child(panel, 104));
	Pump();
	shot = Capture(panel);
	EXPECT_TRUE(shot.At(600, 310) == accent || shot.At(600, 311) == accent) << "focused key frame";
	EXPECT_TRUE(shot.At(600, 182) == border || shot.At(600, 183) == border) << "name frame";
	SetFocus(Child(panel, 102));
	Pump();
	shot = Capture(panel);
	EXPECT_TRUE(shot.At(600, 182) == accent || shot.At(600, 183) == accent) << "focused name frame";
	EXPECT_TRUE(shot.At(600, 310) == border || shot.At(600, 311) == border) << "key frame";

	HWND key = Child(panel, 104), password = Child(panel, 106), show = Child(panel, 108);
	Click(show);
	EXPECT_EQ(SendMessageW(key, EM_GETPASSWORDCHAR, 0, 0), 0);
	EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0);
	EXPECT_EQ(WindowText(show), L"Hide");
	Click(Child(panel, 101), 150, 62 + 31);
	EXPECT_EQ(SendMessageW(key, EM_GETPASSWORDCHAR, 0, 0), 0x2022);
	EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0x2022);
	EXPECT_EQ(WindowText(show), L"Show");
}

TEST_F(Win32Panel, PrintClientGivesTheScreensPictureAndUnloadReleasesTheClassFontsAndBrushes)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	const Screenshot shot = Capture(panel);
	HDC screen = GetDC(panel);
	HDC memory = CreateCompatibleDC(screen);
	HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
	HGDIOBJ old = SelectObject(memory, bitmap);
	SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
	// Points the panel paints itself (children draw their own areas).
	for (POINT p : {POINT{5, 5}, POINT{25, 515}, POINT{775, 45}, POINT{362, 200}, POINT{100, 40}, POINT{500, 735}})
		EXPECT_EQ(GetPixel(memory, p.x, p.y), shot.At(p.x, p.y)) << p.x << ", " << p.y;
	SelectObject(memory, old);
	DeleteObject(bitmap);
	DeleteDC(memory);
	ReleaseDC(panel, screen);

	// The colours the fields and labels are given, and the panel's brushes.
	HDC dc = GetDC(panel);
	const auto field_brush = reinterpret_cast<HBRUSH>(SendMessageW(
		panel, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Child(panel, 102))));
	EXPECT_EQ(GetTextColor(dc), 0xFFF5EDu);
	EXPECT_EQ(GetBkColor(dc), 0x23150Bu);
	HWND label = GetWindow(Child(panel, 114), GW_HWNDNEXT);
	const auto card_brush = reinterpret_cast<HBRUSH>(
		SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
	EXPECT_EQ(GetTextColor(dc), 0xBCA592u);
	EXPECT_EQ(GetBkColor(dc), 0x2C1D12u);
	ReleaseDC(panel, dc);
	LOGBRUSH brush = {};
	ASSERT_TRUE(GetObjectW(field_brush, sizeof(brush), &brush));
	EXPECT_EQ(brush.lbColor, 0x23150Bu);
	ASSERT_TRUE(GetObjectW(card_brush, sizeof(brush), &brush));
	EXPECT_EQ(brush.lbColor, 0x2C1D12u);
	const auto body_font = reinterpret_cast<HFONT>(SendMessageW(Child(panel, 110), WM_GETFONT, 0, 0));
	const auto small_font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));

	module.Unload();
	EXPECT_FALSE(module.class_left_registered);
	for (HGDIOBJ object : {static_cast<HGDIOBJ>(field_brush), static_cast<HGDIOBJ>(card_brush),
			       static_cast<HGDIOBJ>(body_font), static_cast<HGDIOBJ>(small_font)})
		EXPECT_EQ(GetObjectType(object), 0u) << "unload deletes the panel's fonts and brushes";
}

TEST_F(Win32Panel, QualityChipsAndAddingACustomDestinationFollowAtOnce)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	Screenshot shot = Capture(panel);
	const bool hd = shot.At(S(316 + 5), S(578 + 18)) == highlight;
	EXPECT_NE(hd, shot.At(S(218 + 5), S(578 + 18)) == highlight) << "exactly one resolution chip is selected";
	Click(Child(panel, hd ? 115 : 116));
	shot = Capture(panel);
	EXPECT_EQ(shot.At(S(316 + 5), S(578 + 18)), hd ? card_bg : highlight);
	EXPECT_EQ(shot.At(S(218 + 5), S(578 + 18)), hd ? highlight : card_bg);
	const RECT status = {369, 672, 792, 715};
	EXPECT_EQ(TextDifference(shot, status, status, L"Quality updated. Save settings to keep this preset.", 12, 400,
				 muted, window_bg, DT_WORDBREAK | DT_NOPREFIX),
		  0);
	EXPECT_FALSE(fs::exists(SettingsFile())) << "nothing is saved";

	Click(Child(panel, 112));
	HWND list = Child(panel, 101);
	EXPECT_EQ(RowCount(list), 5);
	EXPECT_EQ(SelectedRow(list), 4);
	EXPECT_EQ(GetFocus(), Child(panel, 102));
	EXPECT_EQ(WindowText(Child(panel, 102)), L"Custom 5");
	EXPECT_FALSE(RowTicked(list, 4));

	// Closing saves both.
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	const std::string document = OpenedDocument(SettingsFile());
	EXPECT_NE(document.find("Custom 5"), std::string::npos) << document;
	EXPECT_NE(document.find(hd ? "\"height\":720" : "\"height\":1080"), std::string::npos) << document;
}

// Kick URLs are completed when the server field loses the focus, not when it
// gains it: the edit's own focus notifications reach the panel.
TEST_F(Win32Panel, LeavingTheServerFieldCompletesAKickUrl)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	Click(Child(panel, 101), 150, 2 * 62 + 31);
	ASSERT_EQ(WindowText(Child(panel, 102)), L"Kick");
	HWND server = Child(panel, 103);
	const std::wstring dashboard = L"rtmps://fa723fc1b171.global-contribute.live-video.net";
	SetFocus(Child(panel, 102));
	SetWindowTextW(server, dashboard.c_str());
	SetFocus(server);
	Pump();
	EXPECT_EQ(WindowText(server), dashboard) << "entering the field changes nothing";
	SetFocus(Child(panel, 104));
	Pump();
	EXPECT_EQ(WindowText(server), dashboard + L":443/app");
}

// The exit event destroys the panel while a field may hold the focus: the
// field's last notifications must not reach the model from a window that is
// going away.
TEST_F(Win32Panel, DestroyingThePanelWhileAFieldHasTheFocusKeepsTheDestination)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	const std::wstring server = WindowText(Child(panel, 103));
	ASSERT_FALSE(server.empty());
	SetFocus(Child(panel, 103));
	Pump();
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	ASSERT_EQ(FindPanel(), nullptr);

	panel = Open();
	ASSERT_NE(panel, nullptr);
	EXPECT_EQ(WindowText(Child(panel, 102)), L"YouTube");
	EXPECT_EQ(WindowText(Child(panel, 103)), server);
}

// --- Streaming ------------------------------------------------------------------------

// Ticks YouTube and Twitch with keys through the form.
void PrepareTwoDestinations(HWND panel)
{
	HWND list = Child(panel, 101);
	Click(list, 10, 31);
	Type(Child(panel, 104), L"yt-key");
	Click(list, 10, 62 + 31);
	Type(Child(panel, 104), L"tw-key");
}

std::string Field(int output, const char *field)
{
	return stub_obs_output_field(output, field);
}

TEST_F(Win32Panel, StartAllMakesOneSharedEncodeAndAnOutputPerTickAndStopAllForceStopsThem)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	PrepareTwoDestinations(panel);
	Click(Child(panel, 110));
	ASSERT_TRUE(TakeBoxes().empty());

	ASSERT_EQ(stub_obs_encoder_count(), 2);
	EXPECT_STREQ(stub_obs_encoder_field(0, "id"), "obs_x264");
	EXPECT_STREQ(stub_obs_encoder_field(0, "name"), "Torvane H264");
	EXPECT_STREQ(stub_obs_encoder_field(0, "settings"),
		     "{\"rate_control\":\"CBR\",\"bitrate\":4500,\"keyint_sec\":2,\"preset\":\"veryfast\","
		     "\"profile\":\"high\"}");
	EXPECT_STREQ(stub_obs_encoder_field(0, "mix"), "yes");
	EXPECT_STREQ(stub_obs_encoder_field(0, "size"), "1920x1080");
	EXPECT_STREQ(stub_obs_encoder_field(0, "divisor"), "2") << "30 fps from a 60 fps mix";
	EXPECT_STREQ(stub_obs_encoder_field(1, "id"), "ffmpeg_aac");
	EXPECT_STREQ(stub_obs_encoder_field(1, "name"), "Torvane AAC");
	EXPECT_STREQ(stub_obs_encoder_field(1, "settings"), "{\"bitrate\":160}");

	ASSERT_EQ(stub_obs_output_count(), 2);
	const char *keys[] = {"yt-key", "tw-key"};
	for (int i = 0; i < 2; i++) {
		SCOPED_TRACE(i);
		const std::string name = "Torvane destination " + std::to_string(i + 1);
		EXPECT_EQ(Field(i, "id"), "rtmp_output");
		EXPECT_EQ(Field(i, "name"), name);
		EXPECT_EQ(Field(i, "settings"), "{\"dyn_bitrate\":false}");
		EXPECT_EQ(Field(i, "service_id"), "rtmp_custom");
		EXPECT_EQ(Field(i, "service_name"), name);
		EXPECT_NE(Field(i, "service_settings").find(std::string("\"key\":\"") + keys[i] + "\""),
			  std::string::npos);
		EXPECT_EQ(Field(i, "encoders"), "Torvane H264 + Torvane AAC");
		EXPECT_EQ(Field(i, "reconnect"), "20 retries, 2 s");
		EXPECT_EQ(Field(i, "started"), "yes");
		EXPECT_EQ(Field(i, "handlers"), "4");
	}
	EXPECT_TRUE(fs::exists(SettingsFile())) << "a start saves first";

	// Editing is locked while streaming; Stop all is the way out.
	EXPECT_FALSE(IsWindowEnabled(Child(panel, 102)));
	EXPECT_FALSE(IsWindowEnabled(Child(panel, 110)));
	EXPECT_TRUE(IsWindowEnabled(Child(panel, 111)));
	HWND list = Child(panel, 101);
	Click(list, 10, 2 * 62 + 31);
	EXPECT_FALSE(RowTicked(list, 2)) << "ticks are frozen";
	EXPECT_EQ(SelectedRow(list), 1) << "and the refused click selects nothing";
	Click(list, 150, 31);
	EXPECT_EQ(SelectedRow(list), 0) << "selection stays free";
	// The list's own tick changes are refused as well.
	LVITEMW tick = {};
	tick.stateMask = LVIS_STATEIMAGEMASK;
	tick.state = INDEXTOSTATEIMAGEMASK(2);
	SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&tick));
	EXPECT_FALSE(RowTicked(list, 2));

	// The output threads report; the one-second timer repaints what changed.
	const RECT status0 = RowStatus(panel, 0), status1 = RowStatus(panel, 1);
	// The pill's text area without its outline and rounded ends.
	const RECT pill = {781, 25, 969, 64}, pill_inside = {800, 28, 950, 61};
	const UINT row_flags = DT_SINGLELINE | DT_END_ELLIPSIS;
	const UINT pill_flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
	Pump(1100);
	Screenshot shot = Capture(panel);
	EXPECT_EQ(TextDifference(shot, status0, status0, L"Connecting...", 12, 400, accent, highlight, row_flags), 0);
	EXPECT_EQ(TextDifference(shot, pill, pill_inside, L"0 / 2 sending", 15, 400, accent, highlight, pill_flags), 0);

	stub_obs_output_raise(0, "start", 0);
	stub_obs_output_raise(1, "start", 0);
	Pump(1100);
	shot = Capture(panel);
	shot.Save(ScreenshotDir() / "panel-sending.bmp");
	EXPECT_EQ(TextDifference(shot, status0, status0, L"Sending", 12, 400, accent, highlight, row_flags), 0);
	EXPECT_EQ(TextDifference(shot, status1, status1, L"Sending", 12, 400, accent, card_bg, row_flags), 0);
	EXPECT_EQ(TextDifference(shot, pill, pill_inside, L"2 / 2 sending", 15, 400, accent, highlight, pill_flags), 0);

	Click(Child(panel, 111));
	for (int i = 0; i < 2; i++) {
		EXPECT_EQ(Field(i, "force_stops"), "1");
		EXPECT_EQ(Field(i, "released"), "no") << "records stay until the next start";
	}
	Pump(1100);
	EXPECT_TRUE(IsWindowEnabled(Child(panel, 102)));
	EXPECT_TRUE(IsWindowEnabled(Child(panel, 110)));
	EXPECT_FALSE(IsWindowEnabled(Child(panel, 111)));
	shot = Capture(panel);
	EXPECT_EQ(TextDifference(shot, status0, status0, L"Ready", 12, 400, accent, highlight, row_flags), 0);
	EXPECT_EQ(TextDifference(shot, pill, pill_inside, L"2 enabled  \u00B7  Ready", 15, 400, accent, highlight,
				 pill_flags),
		  0);
}

TEST_F(Win32Panel, AStartWithoutTheX264ModuleReportsWhyAndKeepsTheSavedSettings)
{
	stub_obs_set_missing_type("obs_x264");
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	PrepareTwoDestinations(panel);
	Click(Child(panel, 110));
	const std::vector<MessageBoxRecord> boxes = TakeBoxes();
	ASSERT_EQ(boxes.size(), 1u);
	EXPECT_EQ(boxes[0].text,
		  L"OBS x264 or AAC encoder is unavailable. Install the standard OBS Studio distribution.");
	EXPECT_EQ(stub_obs_output_count(), 0);
	EXPECT_TRUE(fs::exists(SettingsFile())) << "saved before the start";
	EXPECT_TRUE(IsWindowEnabled(Child(panel, 110)));
	EXPECT_FALSE(IsWindowEnabled(Child(panel, 111)));
	stub_obs_set_missing_type(nullptr);
}

TEST_F(Win32Panel, AFailedOutputShowsItsReasonAndHostEventsStopEverything)
{
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	PrepareTwoDestinations(panel);
	Click(Child(panel, 110));
	ASSERT_EQ(stub_obs_output_count(), 2);
	stub_obs_output_raise(1, "stop", OBS_OUTPUT_INVALID_STREAM);
	Pump(1100);
	const RECT status1 = RowStatus(panel, 1);
	Screenshot shot = Capture(panel);
	EXPECT_EQ(TextDifference(shot, status1, status1, L"Failed: stream key", 12, 400, RGB(0xFF, 0x9B, 0x9B),
				 highlight, DT_SINGLELINE | DT_END_ELLIPSIS),
		  0);

	// A profile change stops and releases everything and keeps the panel.
	stub_frontend_raise(OBS_FRONTEND_EVENT_PROFILE_CHANGING);
	Pump();
	for (int i = 0; i < 2; i++)
		EXPECT_EQ(Field(i, "released"), "yes");
	EXPECT_STREQ(stub_obs_encoder_field(0, "released"), "yes");
	EXPECT_STREQ(stub_obs_encoder_field(1, "released"), "yes");
	ASSERT_EQ(FindPanel(), panel);
	EXPECT_TRUE(IsWindowEnabled(Child(panel, 110)));
	shot = Capture(panel);
	const RECT status = {369, 672, 792, 715};
	EXPECT_EQ(TextDifference(shot, status, status, L"Streams stopped: OBS is closing or changing profile / scenes.",
				 12, 400, muted, window_bg, DT_WORDBREAK | DT_NOPREFIX),
		  0);

	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	EXPECT_EQ(FindPanel(), nullptr);
}

// --- DPI and work area -----------------------------------------------------------------

// Wine ignores SPI_SETWORKAREA in GetMonitorInfoW, so the work area is the
// whole Xvfb screen: the lane runs these tests on screens of several sizes.
// Panel DPI by screen and host DPI, worked out by hand from the fit rule.
struct DpiCase {
	LONG width, height;
	UINT host_dpi;
	int panel_dpi;
};
const DpiCase dpi_cases[] = {
	{1920, 1080, 96, 96}, {1920, 1080, 144, 129}, {1366, 768, 96, 89},
	{1366, 768, 144, 89}, {1024, 600, 96, 72},    {1024, 600, 144, 72}, // the 72 DPI floor
};

HWND MakeHostWindow()
{
	return CreateWindowExW(0, L"Static", L"OBS", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr, nullptr,
			       GetModuleHandleW(nullptr), nullptr);
}

RECT WorkArea()
{
	MONITORINFO monitor = {};
	monitor.cbSize = sizeof(monitor);
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	return monitor.rcWork;
}

// Opens the panel for the host's DPI on this screen, checks its size, place,
// controls, fonts and colours at the chosen DPI, and lets the host's exit
// event destroy it.
void ExpectPanelFor(LoadedModule &module, UINT host_dpi)
{
	const RECT work = WorkArea();
	const LONG w = work.right - work.left, h = work.bottom - work.top;
	int dpi = 0;
	for (const DpiCase &c : dpi_cases)
		if (c.width == w && c.height == h && c.host_dpi == host_dpi)
			dpi = c.panel_dpi;
	ASSERT_NE(dpi, 0) << "no case for a " << w << " x " << h << " work area at " << host_dpi << " DPI";
	SCOPED_TRACE(testing::Message() << "work area " << w << " x " << h << ", host " << host_dpi << " DPI");

	module.PickMenuEntry();
	HWND panel = FindPanel();
	ASSERT_NE(panel, nullptr);
	RECT client = {};
	GetClientRect(panel, &client);
	EXPECT_EQ(client.right, S(1000, dpi));
	EXPECT_EQ(client.bottom, S(748, dpi));
	RECT frame = {};
	GetWindowRect(panel, &frame);
	EXPECT_EQ(frame.left, work.left + (w - (frame.right - frame.left)) / 2);
	EXPECT_EQ(frame.top, work.top + (h - (frame.bottom - frame.top)) / 2);
	const RECT start = ChildRect(panel, Child(panel, 110));
	EXPECT_EQ(start.left, S(20, dpi));
	EXPECT_EQ(start.bottom - start.top, S(43, dpi));
	EXPECT_EQ(FontOf(Child(panel, 110)).lfHeight, -S(15, dpi));
	EXPECT_EQ(FontOf(GetWindow(Child(panel, 114), GW_HWNDNEXT)).lfHeight, -S(12, dpi)) << "a label";
	int image_width = 0, image_height = 0;
	ImageList_GetIconSize(
		reinterpret_cast<HIMAGELIST>(SendMessageW(Child(panel, 101), LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
		&image_width, &image_height);
	EXPECT_EQ(image_height, S(62, dpi));
	const Screenshot shot = Capture(panel);
	shot.Save(ScreenshotDir() / ("panel-" + std::to_string(w) + "x" + std::to_string(h) + "-host" +
				     std::to_string(host_dpi) + "-panel" + std::to_string(dpi) + "dpi.bmp"));
	EXPECT_EQ(shot.At(S(25, dpi), S(515, dpi)), card_bg);
	EXPECT_EQ(shot.At(S(30, dpi), S(700, dpi)), accent);
	EXPECT_EQ(shot.At(S(5, dpi), S(5, dpi)), window_bg);
	EXPECT_EQ(shot.At(S(775, dpi), S(45, dpi)), highlight);
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	EXPECT_EQ(FindPanel(), nullptr);
}

TEST_F(Win32Panel, TheDpiFitsTheScreenAndNeverExceedsTheHostsDpi)
{
	HWND host = MakeHostWindow();
	ASSERT_EQ(GetDpiForWindow(host), 96u) << "this process runs at Wine's default 96 DPI";
	stub_frontend_set_main_window(host);
	ExpectPanelFor(module, 96);
	// Without a host window: the primary monitor and 96 DPI at most.
	stub_frontend_set_main_window(nullptr);
	ExpectPanelFor(module, 96);
	DestroyWindow(host);
}

// Wine reads the system DPI from LogPixels when a process starts, so the
// high-DPI host runs in a child process of this program after the value is
// set. Its host window is system-DPI aware, so that it reports that DPI.
TEST_F(Win32Panel, AHostAt144DpiGivesThePanelTheMostThatFits)
{
	if (getenv("TORVANE_TEST_CHILD_DPI")) {
		const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE);
		HWND host = MakeHostWindow();
		SetThreadDpiAwarenessContext(previous);
		ASSERT_EQ(GetDpiForWindow(host), 144u) << "LogPixels did not reach this process";
		stub_frontend_set_main_window(host);
		ExpectPanelFor(module, 144);
		DestroyWindow(host);
		return;
	}
	HKEY key = nullptr;
	ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
				  &key, nullptr),
		  ERROR_SUCCESS);
	DWORD dpi = 144;
	RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dpi), sizeof(dpi));

	wchar_t program[MAX_PATH] = {};
	GetModuleFileNameW(nullptr, program, MAX_PATH);
	std::wstring command = std::wstring(L"\"") + program +
			       L"\" --gtest_filter=Win32Panel.AHostAt144DpiGivesThePanelTheMostThatFits";
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", L"1");
	STARTUPINFOW startup = {};
	startup.cb = sizeof(startup);
	PROCESS_INFORMATION child = {};
	const BOOL started =
		CreateProcessW(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", nullptr);
	DWORD code = 1;
	if (started) {
		WaitForSingleObject(child.hProcess, 120000);
		GetExitCodeProcess(child.hProcess, &code);
		CloseHandle(child.hProcess);
		CloseHandle(child.hThread);
	}
	RegDeleteValueW(key, L"LogPixels");
	RegCloseKey(key);
	ASSERT_TRUE(started);
	EXPECT_EQ(code, 0u) << "the child's failures are in its output above";
}

// --- The settings file -------------------------------------------------------------------

TEST_F(Win32Panel, ADamagedFileIsReportedAtEveryOpeningAndNeverOverwritten)
{
	module.Unload();
	const std::vector<uint8_t> damaged = {'T', 'R', 'V', '1', 1, 2, 3, 4, 5, 6, 7, 8};
	{
		std::ofstream out(SettingsFile(), std::ios::binary);
		out.write(reinterpret_cast<const char *>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
	}
	ASSERT_TRUE(module.Load(config));
	HWND panel = Open();
	ASSERT_NE(panel, nullptr);
	std::vector<MessageBoxRecord> boxes = TakeBoxes();
	ASSERT_EQ(boxes.size(), 1u);
	EXPECT_EQ(boxes[0].caption, L"Torvane");
	EXPECT_NE(boxes[0].text.find(L"left untouched"), std::wstring::npos)
		<< std::string(boxes[0].text.begin(), boxes[0].text.end());
	for (int id : {102, 103, 104, 109, 110, 112})
		EXPECT_FALSE(IsWindowEnabled(Child(panel, id))) << id;
	HWND list = Child(panel, 101);
	Click(list, 10, 31);
	EXPECT_FALSE(RowTicked(list, 0));

	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	EXPECT_TRUE(TakeBoxes().empty()) << "closing says nothing";
	Open();
	EXPECT_EQ(TakeBoxes().size(), 1u) << "each opening says why";
	module.Unload();
	EXPECT_EQ(ReadFile(SettingsFile()), damaged);
}

} // namespace
