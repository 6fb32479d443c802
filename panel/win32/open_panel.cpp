// The Tools menu entry and the host's events on Windows: one panel window,
// owned by OBS's main window, created at a DPI at which it fits the monitor
// and afterwards only shown and raised.
#include "panel/panel.h"

#include "panel/win32/panel_window.h"
#include "settings/texts.h"

#include <dwmapi.h>
#include <obs-frontend-api.h>
#include <obs.h>

#include <optional>

namespace torvane {

namespace {

GdiObject<HFONT> MakeFont(FontRole role, uint32_t dpi)
{
	const FontSpec font = FontFor(role);
	return GdiObject<HFONT>(CreateFontW(-Scale(font.pixels, dpi), 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
					    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
					    0, L"Segoe UI"));
}

GdiObject<HBRUSH> MakeBrush(Color color)
{
	return GdiObject<HBRUSH>(CreateSolidBrush(ToColorref(color)));
}

// A window made again after the host's exit event gets a fresh set, which
// replaces the old one.
PanelTheme MakeTheme(uint32_t dpi)
{
	return {dpi,
		MakeFont(FontRole::Body, dpi),
		MakeFont(FontRole::Title, dpi),
		MakeFont(FontRole::Small, dpi),
		MakeFont(FontRole::Heading, dpi),
		MakeBrush(color_window),
		MakeBrush(color_field),
		MakeBrush(color_card)};
}

void CreatePanelWindow(PanelWindow &panel_window)
{
	HWND host = static_cast<HWND>(obs_frontend_get_main_window_handle());
	const UINT window_dpi = host ? GetDpiForWindow(host) : 0;
	const uint32_t host_dpi = window_dpi ? window_dpi : 96;

	MONITORINFO monitor = {};
	monitor.cbSize = sizeof(monitor);
	GetMonitorInfoW(MonitorFromWindow(host, MONITOR_DEFAULTTOPRIMARY), &monitor);
	const RECT &work = monitor.rcWork;
	const int32_t work_width = work.right - work.left;
	const int32_t work_height = work.bottom - work.top;
	const uint32_t dpi = ChoosePanelDpi(host_dpi, work_width, work_height);

	panel_window.theme = MakeTheme(dpi);
	panel_window.panel.state.dpi = dpi;

	WNDCLASSW window_class = {};
	window_class.lpfnWndProc = PanelWindowProc;
	window_class.hInstance = PanelModule();
	window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
	window_class.lpszClassName = panel_class_name;
	RegisterClassW(&window_class); // already registered after an earlier window: harmless

	RECT frame = {0, 0, Scale(panel_width, dpi), Scale(panel_height, dpi)};
	AdjustWindowRectExForDpi(&frame, panel_style, FALSE, panel_ex_style, dpi);
	const int32_t x = work.left + (frame.left + work_width - frame.right) / 2;
	const int32_t y = work.top + (frame.top + work_height - frame.bottom) / 2;

	// WM_CREATE stores the handle and makes the controls.
	HWND window = CreateWindowExW(panel_ex_style, panel_class_name, ToWide(Tr16(Txt::PanelTitle)).c_str(),
				      panel_style, x, y, frame.right - frame.left, frame.bottom - frame.top, host,
				      nullptr, PanelModule(), &panel_window);
	panel_window.window = window;
	if (!window)
		return;

	// The system draws the frame at the window's own DPI, which is the
	// monitor's and may be above the panel's: the frame computed above would
	// then leave the client area short and cut off the bottom of the layout.
	RECT client = {};
	GetClientRect(window, &client);
	const int32_t grow_width = Scale(panel_width, dpi) - client.right;
	const int32_t grow_height = Scale(panel_height, dpi) - client.bottom;
	if (grow_width != 0 || grow_height != 0) {
		const int32_t w = frame.right - frame.left + grow_width;
		const int32_t h = frame.bottom - frame.top + grow_height;
		SetWindowPos(window, nullptr, work.left + (work_width - w) / 2, work.top + (work_height - h) / 2, w, h,
			     SWP_NOZORDER | SWP_NOACTIVATE);
	}

	const BOOL dark = TRUE;
	DwmSetWindowAttribute(window, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof(dark));
}

} // namespace

HMODULE PanelModule()
{
	// The address of one of our own functions names this module; its
	// reference count stays as the host left it.
	HMODULE module = nullptr;
	GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
			   reinterpret_cast<LPCWSTR>(&PanelWindowProc), &module);
	return module;
}

ControlPanel::ControlPanel(Controller &control) : controller(control), window(std::make_unique<PanelWindowSlot>()) {}

ControlPanel::~ControlPanel()
{
	DestroyControlPanel(*this);
	if (window->window)
		window->window->theme = PanelTheme(); // the fonts and brushes go before the module
	UnregisterClassW(panel_class_name, PanelModule());
}

void OpenControlPanel(void *private_data)
{
	ControlPanel &control_panel = *static_cast<ControlPanel *>(private_data);
	LoadSettings(control_panel.controller);
	// The window record is made at the first opening and kept by the module;
	// the window itself reaches it through its creation parameter.
	std::optional<PanelWindow> &slot = control_panel.window->window;
	if (!slot)
		slot.emplace(control_panel.state, control_panel.controller);
	PanelWindow &panel_window = *slot;
	if (!panel_window.window)
		CreatePanelWindow(panel_window);
	if (panel_window.window) {
		ShowWindow(panel_window.window, SW_SHOWNORMAL);
		SetForegroundWindow(panel_window.window);
	}
	OnPanelOpened(panel_window.panel);
}

Panel *ShownPanel(ControlPanel &control_panel)
{
	std::optional<PanelWindow> &slot = control_panel.window->window;
	return slot && slot->window ? &slot->panel : nullptr;
}

void RefreshShownPanel(ControlPanel &control_panel)
{
	if (Panel *shown = ShownPanel(control_panel))
		AfterCommand(*shown);
}

void DestroyControlPanel(ControlPanel &control_panel)
{
	const std::optional<PanelWindow> &slot = control_panel.window->window;
	if (slot && slot->window)
		DestroyWindow(slot->window);
}

} // namespace torvane
