// torvane.dll under Wine as OBS loads it, driven through its entry points, the
// Tools menu entry and window messages against the stand-in host. The portable
// panel tests pin the panel's behaviour; these check what Windows adds: the
// window and its controls at the panel DPI, input through window messages, the
// pixels and a clean unload.
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

// A key as the keyboard sends it; a nul types `text` over the control's text instead.
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

// A window's client area with its children as the screen shows it; saved as a
// BMP file in the build's screenshots/ when named. Without `redraw`, only what
// was invalidated has been painted again.
struct Shot {
	int width = 0, height = 0;
	std::vector<uint32_t> pixels;           // 0x00RRGGBB, top-down
	uint32_t operator()(int x, int y) const // as 0x00BBGGRR, like the theme
	{
		const uint32_t p = pixels.at(static_cast<size_t>(y * width + x));
		return RGB(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
	}
	int Ink(const Rect &area, uint32_t color) const // text drawn in the colour shows
	{
		int count = 0;
		for (int y = area.top; y < area.bottom; y++)
			for (int x = area.left; x < area.right; x++)
				count += (*this)(x, y) == color;
		return count;
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
	HDC screen = GetDC(window), memory = CreateCompatibleDC(screen);
	HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
	HGDIOBJ old = SelectObject(memory, bitmap);
	BitBlt(memory, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
	GetDIBits(memory, bitmap, 0, UINT(shot.height), shot.pixels.data(), reinterpret_cast<BITMAPINFO *>(&info), 0);
	DeleteObject(SelectObject(memory, old));
	DeleteDC(memory);
	ReleaseDC(window, screen);
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
		stub_frontend_pick();
		Pump();
		return panel = FindWindowW(L"TorvaneWindow", nullptr);
	}

	HWND Child(int id) const { return GetDlgItem(panel, id); }

	fs::path config;
	HMODULE dll = nullptr;
	HWND panel = nullptr;
};

TEST_F(Win32Panel, AnswersTheHostAndUnloadsCleanly)
{
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_name")(), "Torvane");
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_description")(),
		     "Local RTMP multistreaming without subscriptions.");
	EXPECT_STREQ(Entry<const char *(*)()>("obs_module_author")(), "Torvane contributors");
	EXPECT_STREQ(stub_obs_log(0), "[Torvane] Loaded v" TORVANE_VERSION " (Windows). No automatic streaming.");
	for (auto event : {OBS_FRONTEND_EVENT_PROFILE_CHANGING, OBS_FRONTEND_EVENT_EXIT}) // no panel yet
		stub_frontend_raise(event);
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	Unload();
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);
	EXPECT_EQ(GetModuleHandleW(L"torvane.dll"), nullptr) << "something still holds the module";
}

// The panel for a host at `host_dpi`: its size, place and owner and its
// children, in creation order (the Tab order), at the DPI that fits the
// screen; the host's exit destroys it.
void ExpectPanelFor(HWND panel, HWND host, uint32_t host_dpi)
{
	ASSERT_NE(panel, nullptr);
	MONITORINFO monitor = {sizeof(monitor)};
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	const RECT work = monitor.rcWork; // Wine's is the whole Xvfb screen
	const int32_t w = work.right - work.left, h = work.bottom - work.top;
	const uint32_t dpi = ChoosePanelDpi(host_dpi, w, h);
	SCOPED_TRACE(testing::Message() << "host at " << host_dpi << " DPI, panel at " << dpi);
	RECT client = {}, frame = {};
	GetClientRect(panel, &client);
	GetWindowRect(panel, &frame);
	EXPECT_EQ(Rect({0, 0, client.right, client.bottom}), ScaleRect(0, 0, panel_width, panel_height, dpi));
	EXPECT_EQ(frame.left, work.left + (w - (frame.right - frame.left)) / 2);
	EXPECT_EQ(frame.top, work.top + (h - (frame.bottom - frame.top)) / 2);
	EXPECT_EQ(GetWindow(panel, GW_OWNER), host);

	HWND c = GetWindow(panel, GW_CHILD);
	for (const ControlSpec &spec : panel_controls) {
		SCOPED_TRACE(testing::Message() << "control " << spec.id << " " << spec.caption);
		ASSERT_NE(c, nullptr);
		RECT r = {};
		GetWindowRect(c, &r);
		MapWindowPoints(nullptr, panel, reinterpret_cast<POINT *>(&r), 2);
		EXPECT_EQ(Rect({r.left, r.top, r.right, r.bottom}), ControlRect(spec, dpi));
		LOGFONTW font = {};
		GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(font), &font);
		const bool label = spec.kind == ControlKind::Label;
		const FontSpec expected = FontFor(label ? FontRole::Small : FontRole::Body);
		EXPECT_EQ(std::tuple(font.lfHeight, font.lfWeight),
			  (std::tuple<LONG, LONG>(-Scale(expected.pixels, dpi), expected.weight)));
		EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
		const std::u16string caption = Utf8ToWide(spec.caption);
		EXPECT_TRUE(!label || Text(c) == std::wstring(caption.begin(), caption.end()));
		if (spec.kind == ControlKind::Field) { // scrolls rather than stopping at its edge
			EXPECT_TRUE(GetWindowLongW(c, GWL_STYLE) & ES_AUTOHSCROLL);
			EXPECT_EQ(SendMessageW(c, EM_GETLIMITTEXT, 0, 0), spec.max_length);
			EXPECT_EQ(SendMessageW(c, EM_GETPASSWORDCHAR, 0, 0) != 0, spec.masked);
		}
		c = GetWindow(c, GW_HWNDNEXT);
	}
	EXPECT_EQ(c, nullptr) << "more children than the layout has";
	RECT row = {LVIR_BOUNDS};
	SendMessageW(GetDlgItem(panel, id_list), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
	EXPECT_EQ(std::pair(row.right - row.left, row.bottom - row.top),
		  (std::pair<LONG, LONG>(Scale(273, dpi), Scale(row_height, dpi))));

	const Shot shot =
		Capture(panel, "panel-host" + std::to_string(host_dpi) + "-panel" + std::to_string(dpi) + "dpi");
	EXPECT_EQ(shot(Scale(5, dpi), Scale(5, dpi)), color_window);
	EXPECT_EQ(shot(Scale(25, dpi), Scale(515, dpi)), color_card) << "the list below its rows";
	const Rect start = ControlRect(*FindControl(id_start), dpi);
	EXPECT_EQ(shot(start.left + 8, start.top + 8), color_accent);
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	EXPECT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr);
}

// Without a host window, on the primary monitor at 96 DPI. Wine reads the
// system DPI from LogPixels when a process starts: the host at 144 DPI runs in
// a child process of this program, as a system-aware window, and the panel
// gets the most that fits, its frame drawn at the monitor's DPI.
TEST_F(Win32Panel, FitsTheScreenAtTheHostsDpiOrLess)
{
	if (!getenv("TORVANE_TEST_CHILD_DPI"))
		return ExpectPanelFor(Open(), nullptr, 96);
	Unload();
	const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE);
	HWND host = CreateWindowExW(0, L"Static", L"OBS", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr, nullptr,
				    nullptr, nullptr);
	SetThreadDpiAwarenessContext(previous);
	ASSERT_EQ(GetDpiForWindow(host), 144u) << "LogPixels did not reach this process";
	Load(host);
	ExpectPanelFor(Open(), host, 144);
}

TEST(Win32PanelAt144Dpi, RunsTheDpiTestInAChildProcess)
{
	const wchar_t *desktop = L"Control Panel\\Desktop";
	const DWORD dpi = 144;
	ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)),
		  ERROR_SUCCESS);
	wchar_t program[MAX_PATH] = {};
	GetModuleFileNameW(nullptr, program, MAX_PATH);
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", L"1");
	const int code = _wsystem((std::wstring(program) + L" --gtest_filter=*FitsTheScreen*").c_str());
	SetEnvironmentVariableW(L"TORVANE_TEST_CHILD_DPI", nullptr);
	RegDeleteKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels");
	EXPECT_EQ(code, 0) << "the child's failures are in its output above";
}

// One fixed window: closing hides it, the pick raises it again; the host's
// stop is told in the status line, and its exit destroys the panel while a
// field holds the focus, whose last notifications must not reach the model.
TEST_F(Win32Panel, OneWindowThatClosingHidesAndExitDestroysKeepingTheForm)
{
	ASSERT_NE(Open(), nullptr);
	EXPECT_EQ(Text(panel), L"Torvane \u2014 Multistream for OBS");
	// A caption with the system menu and a minimize box, but no sizing border or maximize box.
	EXPECT_EQ(GetWindowLongW(panel, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
		  WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	ShowWindow(panel, SW_MINIMIZE);
	const HWND first = panel;
	EXPECT_EQ(Open(), first);
	EXPECT_TRUE(IsWindowVisible(panel) && !IsIconic(panel));
	EXPECT_EQ(FindWindowExW(nullptr, panel, L"TorvaneWindow", nullptr), nullptr) << "a second window was made";

	const Rect status_line = {369, 672, 792, 715};
	const int idle = Capture(panel).Ink(status_line, color_muted);
	stub_frontend_raise(OBS_FRONTEND_EVENT_PROFILE_CHANGING);
	EXPECT_NE(Capture(panel).Ink(status_line, color_muted), idle) << "the host's stop is told";
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
	// Tab visits every enabled control in creation order and wraps (Stop all
	// is disabled while idle); Shift+Tab goes back.
	std::vector<int> order, seen;
	for (const ControlSpec &spec : panel_controls)
		if (spec.kind != ControlKind::Label && spec.id != id_list && spec.id != id_stop)
			order.push_back(spec.id);
	order.push_back(id_list);
	SetFocus(list);
	for (size_t i = 0; i < order.size(); i++, seen.push_back(GetDlgCtrlID(GetFocus())))
		Press(GetFocus(), VK_TAB);
	EXPECT_EQ(seen, order);
	Press(list, VK_TAB, true);
	EXPECT_EQ(GetFocus(), Child(id_coffee));

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
	ListView_SetCheckState(list, 2, true);
	Click(Child(id_custom));
	EXPECT_EQ(Ticks(list), 0b100);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 3);
	EXPECT_EQ(GetFocus(), Child(id_name));
}

// What hover and focus repaint by themselves, WM_PRINTCLIENT against the
// screen, the fields' and labels' colours, and what unload releases.
TEST_F(Win32Panel, PaintsWhatChangesAndUnloadReleasesWhatItMade)
{
	ASSERT_NE(Open(), nullptr);
	const Rect save = ControlRect(*FindControl(id_save), 96);
	for (auto [hovered, expected] : {std::pair(id_save, color_hover), {id_coffee, color_card}}) {
		RECT r = {};
		GetWindowRect(Child(hovered), &r);
		SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
		SendMessageW(Child(hovered), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
		Pump();
		EXPECT_EQ(Capture(panel, "", false)(save.left + 8, save.top + 8), expected) << hovered;
	}
	const auto outline = [](const Shot &shot, int32_t id) { // GDI+ may round the top edge a pixel inwards
		const int y = FindEditFrame(id)->y;
		return shot(500, y) == color_border ? color_border : shot(500, y + 1);
	};
	for (int32_t focus : {id_key, id_name}) {
		SetFocus(Child(focus));
		const Shot shot = Capture(panel, "", false);
		EXPECT_EQ(outline(shot, id_key), focus == id_key ? color_accent : color_border);
		EXPECT_EQ(outline(shot, id_name), focus == id_name ? color_accent : color_border);
	}

	const Shot shot = Capture(panel, "panel-96dpi");
	HDC dc = GetDC(panel), memory = CreateCompatibleDC(dc);
	HGDIOBJ old = SelectObject(memory, CreateCompatibleBitmap(dc, shot.width, shot.height));
	SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
	for (POINT p : {POINT{5, 5}, POINT{775, 45}, POINT{362, 200}, POINT{100, 40}})
		EXPECT_EQ(GetPixel(memory, p.x, p.y), shot(p.x, p.y)) << p.x << ", " << p.y;
	DeleteObject(SelectObject(memory, old));
	DeleteDC(memory);
	const Rect name = ControlRect(*FindControl(id_name), 96), label = ControlRect(panel_controls[4], 96);
	EXPECT_EQ(shot(name.right - 2, name.top + 2), color_field);
	EXPECT_GT(shot.Ink(name, color_text), 0);
	EXPECT_EQ(shot(label.right - 2, label.top + 2), color_card);
	EXPECT_GT(shot.Ink(label, color_muted), 0);

	std::vector<HGDIOBJ> objects; // fonts and brushes
	for (auto [control, message] : {std::pair(Child(id_name), WM_CTLCOLOREDIT),
					{GetWindow(Child(id_guide), GW_HWNDNEXT), WM_CTLCOLORSTATIC}}) {
		objects.push_back(reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
		objects.push_back(reinterpret_cast<HGDIOBJ>(
			SendMessageW(panel, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control))));
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

// Streaming freezes the ticks, by click and by the list's own handling, and
// the one-second timer notices connections that end on their own.
TEST_F(Win32Panel, StreamingLocksEditingUntilTheTimerSeesTheEnd)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	for (int row : {0, 1})
		Click(list, 10, row * row_height + 31), Press(Child(id_key), 0, false, L"key");
	Click(Child(id_start));
	ASSERT_TRUE(boxes.empty());
	ASSERT_EQ(stub_obs_output_count(), 2);
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	EXPECT_TRUE(IsWindowEnabled(Child(id_stop)));
	Click(list, 10, 2 * row_height + 31);
	ListView_SetCheckState(list, 3, true);
	Pump(20);
	EXPECT_EQ(Ticks(list), 0b11);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1) << "the refused click selects nothing either";
	for (int output : {0, 1})
		stub_obs_output_raise(output, "stop", OBS_OUTPUT_DISCONNECTED);
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	Pump(1100);
	EXPECT_TRUE(IsWindowEnabled(Child(id_start)));
	EXPECT_FALSE(IsWindowEnabled(Child(id_stop)));
	Click(Child(id_start));
	Click(Child(id_stop));
	EXPECT_TRUE(IsWindowEnabled(Child(id_start))) << "Stop all ends what Start all began";
}

TEST_F(Win32Panel, ADamagedFileIsReportedAtEveryOpening)
{
	Unload();
	std::ofstream(config / "settings.dpapi", std::ios::binary) << "TRV1 not protected";
	Load();
	ASSERT_NE(Open(), nullptr);
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Open();
	EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Torvane", L"Torvane"}))
		<< "each opening says why, closing nothing";
}

} // namespace

TEST_F(Win32Panel, EachRowStartsStopsAndRetriesOnItsOwn)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	for (int row : {0, 1})
		Click(list, 10, row * row_height + 31), Press(Child(id_key), 0, false, L"key");
	Click(Child(id_start));
	for (int output : {0, 1})
		stub_obs_output_raise(output, "start", 0);
	RECT item = {}; // the second row; its action box stands 14 to 32 px from its right end
	ListView_GetItemRect(list, 1, &item, LVIR_BOUNDS);
	Press(list, VK_RETURN);
	Click(list, item.right - 20, item.top + 30);
	ASSERT_EQ(stub_obs_output_count(), 3) << "Enter stopped the selected row, its action started it again";

	// A failed row's menu from the keyboard: Retry is its third entry.
	stub_obs_output_raise(0, "stop", OBS_OUTPUT_CONNECT_FAILED);
	Click(list, 100, 31);
	for (WPARAM key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN})
		PostMessageW(list, WM_KEYDOWN, key, 0);
	SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
	EXPECT_EQ(stub_obs_output_count(), 4) << "Retry started the failed row again";

	Press(list, VK_RETURN);
	stub_obs_output_raise(2, "reconnect", 0);
	Pump(1100);
	const Shot shot = Capture(panel, "panel-row-stopped-and-reconnecting");
	MapWindowPoints(list, panel, reinterpret_cast<POINT *>(&item), 2);
	auto box_ink = [&](int row) {
		const int top = item.top + (row - 1) * row_height;
		return shot.Ink({item.right - 32, top + 21, item.right - 14, top + 39}, color_accent);
	};
	EXPECT_GT(box_ink(0), 20) << "the stopped row's start triangle";
	EXPECT_GT(box_ink(1), 100) << "the reconnecting row's stop box";
	EXPECT_EQ(box_ink(2), 0) << "an unticked row has none";
	// The reconnecting row's status line before its figure.
	EXPECT_GT(shot.Ink({item.left + 41, item.top + 33, item.left + 131, item.top + 53}, color_accent), 30);
	EXPECT_TRUE(boxes.empty());
}
