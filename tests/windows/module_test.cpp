// torvane.dll under Wine as OBS loads it, driven through its entry points, the
// Tools menu entry and window messages against the stand-in host. The portable
// panel tests pin the panel's behaviour; these check what Windows adds: the
// module's face, the window, its controls at the panel DPI, input through
// window messages, the pixels and a clean unload.
#include <windows.h>
#include <commctrl.h>

#include <obs-module.h>

#include "panel/layout.h"
#include "panel/theme.h"
#include "settings/text.h"
#include "stub_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace torvane;
namespace fs = std::filesystem;

namespace {

std::vector<std::wstring> boxes; // the caption of each message box
int box_answer = IDOK;

// Runs the thread's messages for about `ms` milliseconds. A thread timer runs
// inside modal loops too: it records and answers every message box.
void Pump(DWORD ms = 60)
{
	[[maybe_unused]] static const UINT_PTR box_timer = SetTimer(nullptr, 0, 40, [](HWND, UINT, UINT_PTR, DWORD) {
		wchar_t caption[64] = {};
		if (HWND box = FindWindowW(L"#32770", nullptr); box && IsWindowVisible(box)) {
			GetWindowTextW(box, caption, 64);
			boxes.push_back(caption);
			PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(box_answer), 0);
		}
	});
	for (const DWORD end = GetTickCount() + ms; GetTickCount() < end; Sleep(5))
		for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
			TranslateMessage(&message), DispatchMessageW(&message);
}

std::wstring Text(HWND window)
{
	wchar_t text[512] = {};
	GetWindowTextW(window, text, 512);
	return text;
}

void Click(HWND control, int x = 5, int y = 5)
{
	PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); // the list waits for the button to come up
	SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
	Pump();
}

// A key as the keyboard sends it; a nul types `text` into the control instead.
void Press(HWND control, WPARAM key, bool shift = false, const std::wstring &text = L"")
{
	BYTE keys[256] = {};
	keys[VK_SHIFT] = shift ? 0x80 : 0;
	SetKeyboardState(keys);
	if (key == 0)
		SetFocus(control), SendMessageW(control, EM_SETSEL, 0, -1);
	for (wchar_t c : L"\b" + text)
		SendMessageW(control, key ? WM_KEYDOWN : WM_CHAR, key ? key : c, 1);
	keys[VK_SHIFT] = 0;
	SetKeyboardState(keys);
	Pump(20);
}

int Ticks(HWND list) // a bit for each ticked row
{
	int ticks = 0;
	for (int row = 0; row < ListView_GetItemCount(list); row++)
		ticks |= ListView_GetCheckState(list, row) << row;
	return ticks;
}

void SetTick(HWND list, int row, bool ticked) // as the list's own handling does
{
	ListView_SetCheckState(list, row, ticked);
	Pump(20);
}

// A window's client area with its children as the screen shows it, as
// 0x00BBGGRR colours; saved as a BMP file in the build's screenshots/ when
// named. Without `redraw`, only what was invalidated has been painted again.
struct Shot {
	int width = 0, height = 0;
	std::vector<uint32_t> pixels; // 0x00RRGGBB, top-down
	uint32_t operator()(int x, int y) const
	{
		const uint32_t p = pixels.at(static_cast<size_t>(y * width + x));
		return RGB(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
	}
};

Shot Capture(HWND window, const std::string &name = "", bool redraw = true)
{
	if (redraw)
		RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
	Pump(40);
	RECT client = {};
	GetClientRect(window, &client);
	Shot shot{client.right, client.bottom, std::vector<uint32_t>(size_t(client.right * client.bottom))};
	BITMAPINFOHEADER info = {sizeof(info), shot.width, -shot.height, 1, 32, BI_RGB};
	HDC source = GetDCEx(window, nullptr, DCX_CACHE), memory = CreateCompatibleDC(source);
	HBITMAP bitmap = CreateCompatibleBitmap(source, shot.width, shot.height);
	HGDIOBJ old = SelectObject(memory, bitmap);
	BitBlt(memory, 0, 0, shot.width, shot.height, source, 0, 0, SRCCOPY);
	SelectObject(memory, old);
	GetDIBits(memory, bitmap, 0, UINT(shot.height), shot.pixels.data(), reinterpret_cast<BITMAPINFO *>(&info), 0);
	DeleteObject(bitmap);
	DeleteDC(memory);
	ReleaseDC(window, source);
	if (!name.empty()) {
		const fs::path dir = fs::current_path().parent_path() / "screenshots";
		fs::create_directories(dir);
		const DWORD bytes = DWORD(shot.pixels.size() * 4), offset = 14 + sizeof(info);
		const BITMAPFILEHEADER file = {0x4D42, offset + bytes, 0, 0, offset};
		std::ofstream(dir / (name + ".bmp"), std::ios::binary)
			.write(reinterpret_cast<const char *>(&file), 14)
			.write(reinterpret_cast<const char *>(&info), sizeof(info))
			.write(reinterpret_cast<const char *>(shot.pixels.data()), bytes);
	}
	return shot;
}

// How many pixels of `area` have the colour: text drawn there in it shows.
int Ink(const Shot &shot, const RECT &area, uint32_t color)
{
	int count = 0;
	for (int y = area.top; y < area.bottom; y++)
		for (int x = area.left; x < area.right; x++)
			count += shot(x, y) == color;
	return count;
}

const RECT status_line = {369, 672, 792, 715};

// The module loaded as OBS loads it, with a fresh configuration folder.
class Win32Panel : public testing::Test {
protected:
	void SetUp() override
	{
		SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
		config = fs::temp_directory_path() / ("torvane-" + std::to_string(GetTickCount()));
		fs::create_directories(config);
		Load();
	}

	void TearDown() override
	{
		Unload();
		EXPECT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr) << "unload leaves no panel window";
		std::error_code ignored;
		fs::remove_all(config, ignored);
	}

	template<typename T = void (*)()>
	T Entry(const char *name)
	{
		return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
	}

	void Load(HWND host = nullptr)
	{
		stub_obs_reset(config.string().c_str());
		stub_frontend_reset(host);
		ASSERT_NE(dll = LoadLibraryW(L"torvane.dll"), nullptr) << GetLastError();
		Entry<void (*)(obs_module_t *)>("obs_module_set_pointer")(reinterpret_cast<obs_module_t *>(this));
		ASSERT_TRUE(Entry<bool (*)()>("obs_module_load")());
		boxes.clear();
	}

	void Unload()
	{
		if (dll)
			Entry("obs_module_unload")(), FreeLibrary(dll);
		dll = nullptr;
		Pump(20);
	}

	HWND Open()
	{
		stub_frontend_pick(0);
		Pump();
		return panel = FindWindowW(L"TorvaneWindow", nullptr);
	}

	HWND Child(int id) const { return GetDlgItem(panel, id); }

	fs::path config;
	HMODULE dll = nullptr;
	HWND panel = nullptr;
};

TEST_F(Win32Panel, AnswersTheHostLoadsOnceAgainAndUnloadsCleanly)
{
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_name")(), "Torvane");
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_description")(),
		     "Local RTMP multistreaming without subscriptions.");
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_author")(), "Torvane contributors");
	EXPECT_EQ(Entry<uint32_t (*)()>("obs_module_ver")(), static_cast<uint32_t>(LIBOBS_API_VER));
	EXPECT_STREQ(stub_frontend_menu(0), "Torvane \xE2\x80\x94 Multistream");
	EXPECT_EQ(stub_frontend_menu(1), nullptr);
	EXPECT_STREQ(stub_obs_log(0), "[Torvane] Loaded v" TORVANE_VERSION " (Windows). No automatic streaming.");
	EXPECT_EQ(stub_obs_log(1), nullptr);
	// Host events without a panel keep the module registered; a second load
	// registers again.
	for (auto event : {OBS_FRONTEND_EVENT_PROFILE_CHANGING, OBS_FRONTEND_EVENT_EXIT})
		stub_frontend_raise(event);
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	Entry("obs_module_unload")();
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);
	ASSERT_TRUE(Entry<bool (*)()>("obs_module_load")());
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	Unload();
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);
	EXPECT_EQ(GetModuleHandleW(L"torvane.dll"), nullptr) << "something still holds the module";
}

// The children in creation order (the Tab order), each from the layout at the
// panel DPI with its class, styles, font, limit and mask.
void ExpectControls(HWND panel, uint32_t dpi)
{
	HWND c = GetWindow(panel, GW_CHILD);
	for (const ControlSpec &spec : panel_controls) {
		SCOPED_TRACE(testing::Message() << "control " << spec.id << " " << spec.caption);
		ASSERT_NE(c, nullptr);
		const int kind = static_cast<int>(spec.kind);
		wchar_t name[32] = {};
		GetClassNameW(c, name, 32);
		const wchar_t *names[] = {L"SysListView32", L"Button", L"Static", L"Edit"};
		EXPECT_STREQ(name, names[kind]);
		EXPECT_EQ(GetDlgCtrlID(c), spec.id);
		const DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
		const DWORD own[] = {0x440D, BS_OWNERDRAW, 0, ES_AUTOHSCROLL | (spec.masked ? ES_PASSWORD : 0u)};
		EXPECT_EQ(style & 0xFFFF, own[kind]);
		EXPECT_EQ((style & WS_TABSTOP) != 0, spec.kind != ControlKind::Label);
		const std::u16string caption = Utf8ToWide(spec.caption);
		EXPECT_EQ(Text(c),
			  spec.kind == ControlKind::Field ? Text(c) : std::wstring(caption.begin(), caption.end()));
		RECT r = {};
		GetWindowRect(c, &r);
		MapWindowPoints(nullptr, panel, reinterpret_cast<POINT *>(&r), 2);
		EXPECT_EQ(Rect({r.left, r.top, r.right, r.bottom}), ControlRect(spec, dpi));
		LOGFONTW font = {};
		GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(font), &font);
		const FontSpec expected = FontFor(spec.kind == ControlKind::Label ? FontRole::Small : FontRole::Body);
		EXPECT_EQ(font.lfHeight, -Scale(expected.pixels, dpi));
		EXPECT_EQ(font.lfWeight, expected.weight);
		EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
		if (spec.kind == ControlKind::Field) {
			EXPECT_EQ(SendMessageW(c, EM_GETLIMITTEXT, 0, 0), spec.max_length);
			EXPECT_EQ(SendMessageW(c, EM_GETPASSWORDCHAR, 0, 0), spec.masked ? 0x2022 : 0);
		}
		c = GetWindow(c, GW_HWNDNEXT);
	}
	EXPECT_EQ(c, nullptr) << "more children than the layout has";

	HWND list = GetDlgItem(panel, id_list);
	EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x10024, 0x10024);
	EXPECT_EQ(SendMessageW(list, LVM_GETBKCOLOR, 0, 0), color_card);
	EXPECT_EQ(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0), color_text);
	EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), Scale(273, dpi));
	RECT row = {LVIR_BOUNDS};
	SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
	EXPECT_EQ(row.bottom - row.top, Scale(row_height, dpi));
	int image_width = 0, image_height = 0;
	ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
			      &image_width, &image_height);
	EXPECT_EQ(image_height, Scale(row_height, dpi)) << "the image list gives the rows their height";
}

// Opens the panel for a host at `host_dpi` on this screen, checks its size,
// place, owner and controls at the DPI that fits, and lets the host's exit
// event destroy it.
void ExpectPanelFor(HWND panel, HWND host, uint32_t host_dpi)
{
	ASSERT_NE(panel, nullptr);
	MONITORINFO monitor = {sizeof(monitor)};
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	const RECT work = monitor.rcWork;
	const int32_t w = work.right - work.left, h = work.bottom - work.top;
	const uint32_t dpi = ChoosePanelDpi(host_dpi, w, h);
	SCOPED_TRACE(testing::Message() << w << " x " << h << ", host at " << host_dpi << " DPI, panel at " << dpi);
	RECT client = {}, frame = {};
	GetClientRect(panel, &client);
	EXPECT_EQ(client.right, Scale(panel_width, dpi));
	EXPECT_EQ(client.bottom, Scale(panel_height, dpi));
	GetWindowRect(panel, &frame);
	EXPECT_EQ(frame.left, work.left + (w - (frame.right - frame.left)) / 2);
	EXPECT_EQ(frame.top, work.top + (h - (frame.bottom - frame.top)) / 2);
	EXPECT_EQ(GetWindow(panel, GW_OWNER), host);
	ExpectControls(panel, dpi);
	const Shot shot = Capture(panel, "panel-" + std::to_string(w) + "x" + std::to_string(h) + "-host" +
						 std::to_string(host_dpi) + "-panel" + std::to_string(dpi) + "dpi");
	EXPECT_EQ(shot(Scale(5, dpi), Scale(5, dpi)), color_window);
	EXPECT_EQ(shot(Scale(25, dpi), Scale(515, dpi)), color_card);
	const Rect start = ControlRect(*FindControl(id_start), dpi);
	EXPECT_EQ(shot(start.left + 8, start.top + 8), color_accent);
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	EXPECT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr);
}

HWND MakeHostWindow()
{
	return CreateWindowExW(0, L"Static", L"OBS", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr, nullptr, nullptr,
			       nullptr);
}

// Wine's work area is the whole Xvfb screen.
TEST_F(Win32Panel, FitsTheScreenAtTheHostsDpiOrLess)
{
	Unload();
	HWND host = MakeHostWindow();
	ASSERT_EQ(GetDpiForWindow(host), 96u);
	Load(host);
	ExpectPanelFor(Open(), host, 96);
	Unload();
	Load(nullptr); // no host window: the primary monitor
	ExpectPanelFor(Open(), nullptr, 96);
	DestroyWindow(host);
}

// Wine reads the system DPI from LogPixels when a process starts: the host at
// 144 DPI runs in a child process of this program, as a system-aware window.
TEST_F(Win32Panel, AHostAt144DpiGivesThePanelTheMostThatFits)
{
	if (getenv("TORVANE_TEST_CHILD_DPI")) {
		Unload();
		const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE);
		HWND host = MakeHostWindow();
		SetThreadDpiAwarenessContext(previous);
		ASSERT_EQ(GetDpiForWindow(host), 144u) << "LogPixels did not reach this process";
		Load(host);
		return ExpectPanelFor(Open(), host, 144);
	}
	const wchar_t *desktop = L"Control Panel\\Desktop";
	const DWORD dpi = 144;
	ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)),
		  ERROR_SUCCESS);
	wchar_t program[MAX_PATH] = {};
	GetModuleFileNameW(nullptr, program, MAX_PATH);
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", L"1");
	const int code = _wsystem((std::wstring(program) + L" --gtest_filter=*AHostAt144Dpi*").c_str());
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", nullptr);
	RegDeleteKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels");
	EXPECT_EQ(code, 0) << "the child's failures are in its output above";
}

// One window: closing hides it, the pick raises it again; the host's stop is
// told in the status line, and its exit destroys the panel while a field holds
// the focus, whose last notifications must not reach the model.
TEST_F(Win32Panel, OneFixedWindowThatClosingHidesAndExitDestroysKeepingTheForm)
{
	ASSERT_NE(Open(), nullptr);
	EXPECT_EQ(Text(panel), L"Torvane \u2014 Multistream for OBS");
	EXPECT_EQ(GetWindowLongW(panel, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x02CA0000);
	EXPECT_EQ(GetWindowLongW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, WS_EX_CONTROLPARENT);
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	ShowWindow(panel, SW_MINIMIZE);
	HWND first = panel;
	EXPECT_EQ(Open(), first);
	EXPECT_TRUE(IsWindowVisible(panel) && !IsIconic(panel));
	EXPECT_EQ(FindWindowExW(nullptr, panel, L"TorvaneWindow", nullptr), nullptr) << "a second window was made";

	const int idle = Ink(Capture(panel), status_line, color_muted);
	stub_frontend_raise(OBS_FRONTEND_EVENT_PROFILE_CHANGING);
	EXPECT_NE(Ink(Capture(panel), status_line, color_muted), idle) << "the host's stop is told";
	const std::wstring server = Text(Child(id_server));
	SetFocus(Child(id_server));
	Pump();
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	ASSERT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr);
	ASSERT_NE(Open(), nullptr);
	EXPECT_EQ(Text(Child(id_name)), L"YouTube");
	EXPECT_EQ(Text(Child(id_server)), server);
	EXPECT_TRUE(boxes.empty());
}

// Tab order, the list's subclass, fields, the question box and the server
// field's focus notifications, all through window messages.
TEST_F(Win32Panel, InputGoesThroughTheWindowMessages)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	// Tab visits every enabled control in creation order and wraps; Stop all
	// is disabled while idle.
	std::vector<int> order, seen, back;
	for (const ControlSpec &spec : panel_controls)
		if (spec.kind != ControlKind::Label && spec.id != id_list && spec.id != id_stop)
			order.push_back(spec.id);
	order.push_back(id_list);
	SetFocus(list);
	for (size_t i = 0; i < order.size(); i++, seen.push_back(GetDlgCtrlID(GetFocus())))
		Press(GetFocus(), VK_TAB);
	EXPECT_EQ(seen, order);
	for (int i = 0; i < 2; i++, back.push_back(GetDlgCtrlID(GetFocus())))
		Press(GetFocus(), VK_TAB, true);
	EXPECT_EQ(back, (std::vector<int>{id_coffee, id_save}));

	// The tick strip toggles and selects; Space toggles the focused row; a
	// click further right only selects; below the last row, nothing toggles
	// but the list still takes the focus.
	Click(list, 10, row_height + 31);
	EXPECT_EQ(Ticks(list), 0b10);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);
	EXPECT_EQ(GetFocus(), list);
	EXPECT_EQ(Text(Child(id_name)), L"Twitch");
	Press(list, VK_SPACE);
	Click(list, 150, 2 * row_height + 31);
	EXPECT_EQ(Ticks(list), 0);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 2);
	SetFocus(Child(id_name));
	Click(list, 10, 4 * row_height + 8);
	EXPECT_EQ(GetFocus(), list);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 2);

	// Kick URLs are completed when the server field loses the focus, not when
	// it gains it.
	ASSERT_EQ(Text(Child(id_name)), L"Kick");
	HWND server = Child(id_server);
	const std::wstring dashboard = L"rtmps://fa723fc1b171.global-contribute.live-video.net";
	SetFocus(Child(id_name));
	SetWindowTextW(server, dashboard.c_str());
	SetFocus(server);
	Pump();
	EXPECT_EQ(Text(server), dashboard) << "entering the field changes nothing";
	SetFocus(Child(id_key));
	Pump();
	EXPECT_EQ(Text(server), dashboard + L":443/app");

	// Typed fields reach the model; a question box: No keeps the row, Yes
	// removes it.
	Press(Child(id_name), 0, false, L"My Kick");
	Press(Child(id_key), 0, false, L"kick-key");
	Click(Child(id_save));
	EXPECT_TRUE(boxes.empty());
	char row[64] = {};
	ListView_GetItemText(list, 2, 0, row, 64);
	EXPECT_STREQ(row, "My Kick");
	for (int answer : {IDNO, IDYES}) {
		box_answer = answer;
		Click(Child(id_remove));
		EXPECT_EQ(ListView_GetItemCount(list), answer == IDNO ? 4 : 3);
	}
	box_answer = IDOK;
	EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Torvane", L"Torvane"}));

	// A tick the list changes by itself reaches the model: the rows rebuilt
	// from it by "+ Custom" keep it.
	SetTick(list, 2, true);
	Click(Child(id_custom));
	EXPECT_EQ(Ticks(list), 0b100);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 3);
	EXPECT_EQ(GetFocus(), Child(id_name));
}

// The pixels of the panel's own painting and of its owner-drawn buttons, what
// hover and focus repaint, and what unload releases.
TEST_F(Win32Panel, PaintsHoverAndFocusAndUnloadReleasesWhatItMade)
{
	ASSERT_NE(Open(), nullptr);
	const auto hover_then_save = [&](int32_t id) { // only what the panel invalidates is painted again
		RECT r = {};
		GetWindowRect(Child(id), &r);
		SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
		SendMessageW(Child(id), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
		Pump();
		const Rect save = ControlRect(*FindControl(id_save), 96);
		return Capture(panel, "", false)(save.left + 8, save.top + 8);
	};
	// The top edge of a field's frame; GDI+ may round it a pixel inwards.
	const auto outline = [&](const Shot &shot, int32_t id) {
		const int y = FindEditFrame(id)->y;
		return shot(500, y) == color_border ? color_border : shot(500, y + 1);
	};
	Shot shot = Capture(panel, "panel-96dpi");
	EXPECT_EQ(shot(362, 200), color_field) << "field frame";
	EXPECT_EQ(hover_then_save(id_save), color_hover);
	EXPECT_EQ(hover_then_save(id_coffee), color_card) << "leaving repaints";
	for (int32_t focus : {id_key, id_name}) {
		SetFocus(Child(focus));
		shot = Capture(panel, "", false);
		EXPECT_EQ(outline(shot, id_key), focus == id_key ? color_accent : color_border);
		EXPECT_EQ(outline(shot, id_name), focus == id_name ? color_accent : color_border);
	}

	// WM_PRINTCLIENT paints what the screen shows; fields and labels get
	// their colours and the panel's brushes.
	HDC dc = GetDC(panel), memory = CreateCompatibleDC(dc);
	HBITMAP bitmap = CreateCompatibleBitmap(dc, shot.width, shot.height);
	HGDIOBJ old = SelectObject(memory, bitmap);
	SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
	for (POINT p : {POINT{5, 5}, POINT{25, 515}, POINT{775, 45}, POINT{362, 200}, POINT{100, 40}})
		EXPECT_EQ(GetPixel(memory, p.x, p.y), shot(p.x, p.y)) << p.x << ", " << p.y;
	DeleteObject(SelectObject(memory, old));
	DeleteDC(memory);
	std::vector<HGDIOBJ> objects;
	for (auto [message, control, text, background] :
	     {std::tuple(WM_CTLCOLOREDIT, Child(id_name), color_text, color_field),
	      {WM_CTLCOLORSTATIC, GetWindow(Child(id_guide), GW_HWNDNEXT), color_muted, color_card}}) {
		objects.push_back(reinterpret_cast<HGDIOBJ>(
			SendMessageW(panel, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control))));
		LOGBRUSH brush = {};
		GetObjectW(objects.back(), sizeof(brush), &brush);
		EXPECT_EQ(brush.lbColor, background);
		EXPECT_EQ(GetTextColor(dc), text);
		EXPECT_EQ(GetBkColor(dc), background);
		objects.push_back(reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
	}
	ReleaseDC(panel, dc);

	Entry("obs_module_unload")();
	WNDCLASSW window_class = {};
	EXPECT_FALSE(GetClassInfoW(dll, L"TorvaneWindow", &window_class)) << "the class outlived the unload";
	for (HGDIOBJ object : objects)
		EXPECT_EQ(GetObjectType(object), 0u) << "unload deletes the panel's fonts and brushes";
	FreeLibrary(dll);
	dll = nullptr;
}

TEST_F(Win32Panel, StreamingLocksEditingAndTheTimerShowsEachState)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	for (int row : {0, 1})
		Click(list, 10, row * row_height + 31), Press(Child(id_key), 0, false, L"key");
	Click(Child(id_start));
	ASSERT_TRUE(boxes.empty());
	ASSERT_EQ(stub_obs_output_count(), 2);
	EXPECT_FALSE(IsWindowEnabled(Child(id_name)));
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	EXPECT_TRUE(IsWindowEnabled(Child(id_stop)));
	// Ticks are frozen, by click and by the list's own handling; the refused
	// click selects nothing either.
	Click(list, 10, 2 * row_height + 31);
	SetTick(list, 3, true);
	EXPECT_EQ(Ticks(list), 0b11);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);
	stub_obs_output_raise(0, "start", 0);
	Pump(1100);
	Capture(panel, "panel-sending");
	// Both connections end on their own: only the one-second timer notices.
	for (int output : {0, 1})
		stub_obs_output_raise(output, "stop", OBS_OUTPUT_DISCONNECTED);
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	Pump(1100);
	EXPECT_TRUE(IsWindowEnabled(Child(id_name)));
	EXPECT_TRUE(IsWindowEnabled(Child(id_start)));
	EXPECT_FALSE(IsWindowEnabled(Child(id_stop)));
	Click(Child(id_start));
	Click(Child(id_stop));
	EXPECT_TRUE(IsWindowEnabled(Child(id_start))) << "Stop all ends what Start all began";
}

TEST_F(Win32Panel, ADamagedFileIsReportedAtEveryOpeningAndLocksTheForm)
{
	Unload();
	const std::string damaged = "TRV1 not protected";
	std::ofstream(config / "settings.dpapi", std::ios::binary) << damaged;
	Load();
	ASSERT_NE(Open(), nullptr);
	EXPECT_EQ(boxes, std::vector<std::wstring>{L"Torvane"});
	EXPECT_FALSE(IsWindowEnabled(Child(id_name)));
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	HWND list = Child(id_list);
	Click(list, 10, 31);
	SetTick(list, 1, true);
	EXPECT_EQ(Ticks(list), 0);
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_EQ(boxes.size(), 1u) << "closing says nothing";
	Open();
	EXPECT_EQ(boxes.size(), 2u) << "each opening says why";
	Unload();
	std::ifstream in(config / "settings.dpapi", std::ios::binary);
	EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
}

} // namespace

namespace {

// A row's rectangle in the list and its action strip's middle.
RECT RowRect(HWND list, int row)
{
	RECT item = {};
	ListView_GetItemRect(list, row, &item, LVIR_BOUNDS);
	return item;
}

void ClickAction(HWND list, int row)
{
	const RECT item = RowRect(list, row);
	Click(list, item.right - 15, (item.top + item.bottom) / 2);
}

// Opens the selected row's context menu from the keyboard and picks its
// `entry`-th item (from 1) with the arrow keys, as the user would.
void PickFromMenu(HWND list, int entry)
{
	static int downs = 0;
	downs = entry;
	const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
		if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu)) {
			KillTimer(nullptr, id);
			for (int i = 0; i < downs; i++)
				PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
			PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
		}
	});
	SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
	KillTimer(nullptr, timer);
	Pump();
}

} // namespace

TEST_F(Win32Panel, EachRowStartsStopsAndRetriesOnItsOwn)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	for (int row : {0, 1, 2})
		Click(list, 10, row * row_height + 31), Press(Child(id_key), 0, false, L"key");
	Click(Child(id_start));
	ASSERT_EQ(stub_obs_output_count(), 3);
	for (int output : {0, 1, 2})
		stub_obs_output_raise(output, "start", 0);

	ClickAction(list, 1); // stop
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1) << "the action selects its row";
	Press(list, VK_RETURN); // start again
	ASSERT_EQ(stub_obs_output_count(), 4) << "Enter started the stopped row";
	ClickAction(list, 1); // and stop it again
	EXPECT_TRUE(IsWindowEnabled(Child(id_stop)) && !IsWindowEnabled(Child(id_start))) << "the others stream on";
	EXPECT_FALSE(IsWindowEnabled(Child(id_1080p))) << "the quality stays locked";

	stub_obs_output_raise(2, "reconnect", 0);
	Pump(1100);
	const Shot shot = Capture(panel, "panel-row-stopped-and-reconnecting");
	POINT origin = {};
	MapWindowPoints(list, panel, &origin, 1);
	auto box_ink = [&](int row, uint32_t color) {
		RECT box = RowRect(list, row);
		box = {origin.x + box.right - 32, origin.y + box.top + 21, origin.x + box.right - 14,
		       origin.y + box.top + 39};
		return Ink(shot, box, color);
	};
	EXPECT_GT(box_ink(0, color_accent), 100) << "a sending row's stop box";
	EXPECT_GT(box_ink(1, color_box_border), 20) << "a stopped row's start box";
	EXPECT_EQ(box_ink(3, color_box_border), 0) << "an unticked row has no action";

	// A failed row is retried from its menu: Start and Stop are greyed, Retry is third.
	stub_obs_output_raise(0, "stop", OBS_OUTPUT_CONNECT_FAILED);
	Click(list, 100, 31);
	PickFromMenu(list, 3);
	EXPECT_EQ(stub_obs_output_count(), 5) << "Retry started the failed row again";
	Click(Child(id_stop));
	Pump(1100);
	EXPECT_TRUE(IsWindowEnabled(Child(id_start)));
	EXPECT_TRUE(boxes.empty());
}
