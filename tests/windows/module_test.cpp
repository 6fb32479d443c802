// torvane.dll under Wine as OBS loads it, driven through its entry points, the
// Tools menu entry and window messages against the stand-in host. The portable
// panel tests pin the panel's behaviour; these check what Windows adds: the
// window and its controls at the panel DPI, input through window messages, the
// pixels, the message boxes and a clean unload.
#include <windows.h>
#include <commctrl.h>

#include "panel/layout.h"
#include "panel/theme.h"
#include "stub_host.h"

#include "../settings/settings_testing.h"

using namespace torvane;
using namespace torvane_testing;

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

void Press(HWND control, WPARAM key, bool shift = false) // Shift stays as given until the next key
{
	BYTE keys[256] = {};
	keys[VK_SHIFT] = shift ? 0x80 : 0;
	SetKeyboardState(keys);
	SendMessageW(control, WM_KEYDOWN, key, 1);
	Pump(20);
}

int Ticks(HWND list) // a bit for each ticked row
{
	int ticks = 0;
	for (int row = 0; row < ListView_GetItemCount(list); row++)
		ticks |= ListView_GetCheckState(list, row) << row;
	return ticks;
}

// A window's client area with its children as the screen shows it, read
// through a DC that does not clip them. Without `redraw`, only what was
// invalidated has been painted again.
struct Shot {
	explicit Shot(HWND shown, bool redraw = true) : window(shown), dc(GetDCEx(shown, nullptr, DCX_CACHE))
	{
		if (redraw)
			RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
		Pump(40);
	}
	~Shot() { ReleaseDC(window, dc); }
	Color operator()(int x, int y) const
	{
		const COLORREF pixel = GetPixel(dc, x, y);
		return {GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)};
	}
	int Ink(const Rect &area, Color color) const // text drawn in the colour shows
	{
		int count = 0;
		for (int y = area.top; y < area.bottom; y++)
			for (int x = area.left; x < area.right; x++)
				count += (*this)(x, y) == color;
		return count;
	}
	HWND window;
	HDC dc;
};

// The module loaded as OBS loads it, with a fresh configuration folder; every
// unload must leave no window, class, event callback or hold on the module.
class Win32Panel : public testing::Test {
protected:
	void SetUp() override { Load(); }
	void TearDown() override { Unload(); }

	template<typename T = void (*)()>
	T Entry(const char *name)
	{
		return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
	}

	void Load(HWND host = nullptr)
	{
		SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
		stub_obs_reset(config.path.string().c_str());
		stub_frontend_reset(host);
		ASSERT_NE(dll = LoadLibraryW(L"torvane.dll"), nullptr) << GetLastError();
		Entry<void (*)(obs_module_t *)>("obs_module_set_pointer")(reinterpret_cast<obs_module_t *>(this));
		ASSERT_TRUE(Entry<bool (*)()>("obs_module_load")());
		boxes.clear();
	}

	void Unload()
	{
		if (!dll)
			return;
		Entry("obs_module_unload")();
		WNDCLASSW window_class = {};
		EXPECT_FALSE(GetClassInfoW(dll, L"TorvaneWindow", &window_class)) << "the class outlived the unload";
		EXPECT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr);
		EXPECT_EQ(stub_frontend_event_callback_count(), 0);
		EXPECT_EQ(std::string(stub_obs_registered()).find("torvane."), std::string::npos) << "a hotkey lives";
		FreeLibrary(dll);
		dll = nullptr;
		EXPECT_EQ(GetModuleHandleW(L"torvane.dll"), nullptr) << "something still holds the module";
		Pump(20);
	}

	HWND Open()
	{
		stub_frontend_pick();
		Pump();
		return panel = FindWindowW(L"TorvaneWindow", nullptr);
	}

	HWND Child(int id) const { return GetDlgItem(panel, id); }

	TempDir config;
	HMODULE dll = nullptr;
	HWND panel = nullptr;
};

// The module loads again as the same module; the panel gets the most that
// fits the screen at its host's DPI (the lane runs this again with the system
// at 144 DPI), centred, owned by the host, its children in creation order (the
// Tab order) at that DPI. It is one window with a caption, system menu and
// minimize box but no sizing border: closing hides it, the pick raises it
// again; the host's exit destroys it while a field holds the focus, whose last
// notifications must not reach the model.
TEST_F(Win32Panel, FitsTheScreenAtTheHostsDpiAndClosingHidesWhatExitDestroys)
{
	Unload();
	const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE);
	HWND host = CreateWindowExW(0, L"Static", L"OBS", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300, nullptr, nullptr,
				    nullptr, nullptr);
	SetThreadDpiAwarenessContext(previous);
	const char *system_dpi = getenv("TORVANE_TEST_SYSTEM_DPI");
	const uint32_t host_dpi = GetDpiForWindow(host);
	ASSERT_EQ(host_dpi, system_dpi ? strtoul(system_dpi, nullptr, 10) : 96) << "LogPixels did not reach Wine";
	Load(host);
	for (auto event : {OBS_FRONTEND_EVENT_PROFILE_CHANGING, OBS_FRONTEND_EVENT_EXIT}) // no panel yet
		stub_frontend_raise(event);
	Entry("obs_module_post_load")(); // without obs-websocket
	EXPECT_STREQ(stub_obs_registered(), "torvane.start_all\ntorvane.stop_all\n");
	Entry("obs_module_unload")();
	ASSERT_TRUE(Entry<bool (*)()>("obs_module_load")());
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	ASSERT_NE(Open(), nullptr);

	MONITORINFO monitor = {sizeof(monitor)};
	GetMonitorInfoW(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), &monitor);
	const RECT work = monitor.rcWork; // Wine's is the whole Xvfb screen
	const uint32_t dpi = ChoosePanelDpi(host_dpi, work.right - work.left, work.bottom - work.top);
	RECT client = {}, frame = {};
	GetClientRect(panel, &client);
	GetWindowRect(panel, &frame);
	EXPECT_EQ(Rect({0, 0, client.right, client.bottom}), ScaleRect(0, 0, panel_width, panel_height, dpi));
	EXPECT_LE(abs(frame.left + frame.right - work.left - work.right), 1);
	EXPECT_LE(abs(frame.top + frame.bottom - work.top - work.bottom), 1);
	EXPECT_EQ(GetWindow(panel, GW_OWNER), host);
	HWND c = GetWindow(panel, GW_CHILD);
	for (const ControlSpec &spec : panel_controls) {
		SCOPED_TRACE(testing::Message() << "control " << spec.id << " " << Tr(spec.caption));
		ASSERT_NE(c, nullptr);
		RECT r = {};
		GetWindowRect(c, &r);
		MapWindowPoints(nullptr, panel, reinterpret_cast<POINT *>(&r), 2);
		EXPECT_EQ(Rect({r.left, r.top, r.right, r.bottom}), ControlRect(spec, dpi));
		LOGFONTW font = {};
		GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(font), &font);
		const FontRole role = spec.kind == ControlKind::Label ? FontRole::Small : FontRole::Body;
		EXPECT_EQ(font.lfHeight, -Scale(FontFor(role).pixels, dpi));
		if (spec.kind == ControlKind::Field) { // scrolls rather than stopping at its edge
			EXPECT_TRUE(GetWindowLongW(c, GWL_STYLE) & ES_AUTOHSCROLL);
			EXPECT_EQ(SendMessageW(c, EM_GETLIMITTEXT, 0, 0), spec.max_length);
		}
		c = GetWindow(c, GW_HWNDNEXT);
	}
	EXPECT_EQ(c, nullptr) << "more children than the layout has";
	int image_width = 0, image_height = 0; // the image list gives the rows their height on Windows
	ImageList_GetIconSize(ListView_GetImageList(Child(id_list), LVSIL_SMALL), &image_width, &image_height);
	EXPECT_EQ(image_height, Scale(row_height, dpi));
	const Rect start = ControlRect(*FindControl(id_start), dpi);
	const Shot shot(panel);
	EXPECT_EQ(shot(start.left + 8, start.top + 8), color_accent);
	EXPECT_EQ(shot(Scale(100, dpi), Scale(440, dpi)), color_card) << "the list below its rows";

	EXPECT_EQ(GetWindowLongW(panel, GWL_STYLE) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
		  WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
	SendMessageW(panel, WM_CLOSE, 0, 0);
	Pump();
	EXPECT_FALSE(IsWindowVisible(panel));
	ShowWindow(panel, SW_MINIMIZE);
	const HWND first = panel;
	EXPECT_EQ(Open(), first);
	EXPECT_TRUE(IsWindowVisible(panel) && !IsIconic(panel));

	const std::wstring server = Text(Child(id_server));
	SetFocus(Child(id_server));
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);
	Pump();
	ASSERT_EQ(FindWindowW(L"TorvaneWindow", nullptr), nullptr);
	ASSERT_NE(Open(), nullptr);
	EXPECT_EQ(Text(Child(id_server)), server);
	EXPECT_TRUE(boxes.empty());
}

// Tab order, the list's subclass, the server field's focus notifications, the
// question box and a tick the list changes by itself, all through window
// messages into the panel's commands, and what they repaint.
TEST_F(Win32Panel, InputGoesThroughTheWindowMessagesAndRepaintsWhatChanged)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	// Tab visits every enabled control in creation order and wraps (Stop all
	// is disabled while idle, and so is a destination's quality until it has
	// its own); Shift+Tab goes back.
	std::vector<int> order, seen;
	for (const ControlSpec &spec : panel_controls)
		if (spec.kind != ControlKind::Label && spec.id != id_stop &&
		    (spec.id < id_own_720p || spec.id > id_own_encoder))
			order.push_back(spec.id);
	SetFocus(list);
	for (size_t i = 0; i < order.size(); i++, Press(GetFocus(), VK_TAB))
		seen.push_back(GetDlgCtrlID(GetFocus()));
	EXPECT_EQ(seen, order);
	EXPECT_EQ(GetFocus(), list);
	Press(list, VK_TAB, true);
	EXPECT_EQ(GetFocus(), Child(id_coffee));

	// The tick strip toggles and selects; Space toggles the focused row; a
	// click further right only selects.
	Click(list, 10, row_height + 31);
	EXPECT_EQ(Ticks(list), 0b10);
	EXPECT_EQ(GetFocus(), list);
	EXPECT_EQ(Text(Child(id_name)), L"Twitch") << "the form shows the selected row";
	Press(list, VK_SPACE);
	Click(list, 150, 2 * row_height + 31);
	EXPECT_EQ(Ticks(list), 0);
	EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 2);

	// Kick URLs are completed when the server field loses the focus.
	HWND server = Child(id_server);
	const std::wstring dashboard = L"rtmps://fa723fc1b171.global-contribute.live-video.net";
	SetWindowTextW(server, dashboard.c_str());
	SetFocus(server);
	SetFocus(Child(id_key));
	EXPECT_EQ(Text(server), dashboard + L":443/app");

	// A question box: No keeps the row, Yes removes it.
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

	// What hover and focus repaint by themselves, the fields' and labels'
	// colours, and what unload releases.
	const Rect save = ControlRect(*FindControl(id_save), 96);
	for (auto [hovered, expected] : {std::pair(id_save, color_hover), {id_coffee, color_card}}) {
		RECT r = {};
		GetWindowRect(Child(hovered), &r);
		SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
		SendMessageW(Child(hovered), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
		Pump();
		EXPECT_EQ(Shot(panel, false)(save.left + 8, save.top + 8), expected) << hovered;
	}
	for (int32_t focus : {id_key, id_name}) { // the key's frame follows the focus in and out
		SetFocus(Child(focus));
		const Shot shot(panel, false);
		const int y = FindEditFrame(id_key)->y; // GDI+ may round the top edge a pixel inwards
		EXPECT_EQ(shot(500, y) == color_border ? color_border : shot(500, y + 1),
			  focus == id_key ? color_accent : color_border);
	}

	const Rect name = ControlRect(*FindControl(id_name), 96), label = ControlRect(panel_controls[7], 96);
	HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(Child(id_name), WM_GETFONT, 0, 0)), brush = nullptr;
	{
		const Shot shot(panel);
		EXPECT_EQ(shot(name.right - 2, name.top + 2), color_field);
		EXPECT_GT(shot.Ink(name, color_text), 0);
		EXPECT_EQ(shot(label.right - 2, label.top + 2), color_card);
		EXPECT_GT(shot.Ink(label, color_muted), 0);
		brush = reinterpret_cast<HGDIOBJ>(SendMessageW(panel, WM_CTLCOLOREDIT,
							       reinterpret_cast<WPARAM>(shot.dc),
							       reinterpret_cast<LPARAM>(Child(id_name))));
	}
	Unload();
	EXPECT_EQ(GetObjectType(font) | GetObjectType(brush), 0u) << "unload deletes the panel's fonts and brushes";
}

// Each row starts, stops and retries on its own while streaming freezes even
// the ticks the list changes by itself; the one-second timer notices
// connections that end on their own.
TEST_F(Win32Panel, EachRowStartsStopsAndRetriesWhileTheTicksStayFrozen)
{
	ASSERT_NE(Open(), nullptr);
	HWND list = Child(id_list);
	for (int row : {0, 1})
		Click(list, 10, row * row_height + 31), SetWindowTextW(Child(id_key), L"key");
	Click(Child(id_start));
	for (int output : {0, 1})
		stub_obs_output_raise(output, "start", 0);
	ListView_SetCheckState(list, 3, true);
	Pump(20);
	EXPECT_EQ(Ticks(list), 0b11);

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
	const Shot shot(panel);
	MapWindowPoints(list, panel, reinterpret_cast<POINT *>(&item), 2);
	auto box_ink = [&](int row) {
		const int top = item.top + (row - 1) * row_height;
		return shot.Ink({item.right - 32, top + 21, item.right - 14, top + 39}, color_accent);
	};
	EXPECT_GT(box_ink(0), 20) << "the stopped row's start triangle";
	EXPECT_GT(box_ink(1), 100) << "the reconnecting row's stop box";

	stub_obs_output_raise(2, "stop", OBS_OUTPUT_DISCONNECTED);
	EXPECT_FALSE(IsWindowEnabled(Child(id_start)));
	Pump(1100);
	EXPECT_TRUE(IsWindowEnabled(Child(id_start)));
	EXPECT_TRUE(boxes.empty());
}

} // namespace
