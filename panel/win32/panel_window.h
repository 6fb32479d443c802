#pragma once

// The control panel on Win32: a fixed-size top-level window with 25 child
// controls, painted with GDI and GDI+ from the panel's drawing lists, whose
// input goes to the panel's portable behaviour.
#include <windows.h>
#include <commctrl.h>

#include "panel/commands.h"
#include "panel/form.h"
#include "panel/list.h"
#include "panel/refresh.h"
#include "panel/row_actions.h"
#include "panel/painting.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <string>
#include <vector>

namespace torvane {

inline constexpr const wchar_t *panel_class_name = L"TorvaneWindow";
inline constexpr DWORD panel_style = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; // 0x02CA0000
inline constexpr DWORD panel_ex_style = WS_EX_CONTROLPARENT;
inline constexpr UINT_PTR refresh_timer_id = 1;
inline constexpr UINT refresh_period_ms = 1000;
inline constexpr wchar_t mask_char = 0x2022; // a bullet

// The one place a panel colour becomes a GDI one.
inline COLORREF ToColorref(Color color)
{
	return RGB(color.r, color.g, color.b);
}

// A font, brush or bitmap, deleted with its owner.
struct GdiObjectDeleter {
	void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template<typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

// Fonts and brushes made for the panel's DPI when its window is made.
struct PanelTheme {
	uint32_t panel_dpi = 96;
	GdiObject<HFONT> font_body;
	GdiObject<HFONT> font_title;
	GdiObject<HFONT> font_small;
	GdiObject<HFONT> font_heading;
	GdiObject<HBRUSH> brush_window;
	GdiObject<HBRUSH> brush_field;
	GdiObject<HBRUSH> brush_card;
};

struct PanelWindow;

// The toolkit side of the panel's behaviour: controls named by identifier are
// the panel window's children.
struct Win32PanelUi : PanelUi {
	explicit Win32PanelUi(PanelWindow &window) : owner(window) {}
	void SetText(int32_t id, const std::u16string &text) override;
	std::u16string Text(int32_t id) const override;
	void SetEnabled(int32_t id, bool enabled) override;
	bool IsEnabled(int32_t id) const override;
	void SetMasked(int32_t id, bool masked) override;
	bool IsMasked(int32_t id) const override;
	void SetFocus(int32_t id) override;
	bool HasFocus(int32_t id) const override;
	void SetRowCount(int32_t count) override;
	void SelectRow(int32_t row) override;
	void InvalidatePanel() override;
	void InvalidateArea(const Rect &area) override;
	void InvalidateControl(int32_t id) override;
	void InvalidateRow(int32_t row) override;
	void InvalidateList() override;
	bool AskYesNo(const std::u16string &text) override;
	void ShowNotice(const std::u16string &text) override;
	bool AskText(const std::u16string &prompt, std::u16string &text, bool masked) override;
	int32_t ChooseFromMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked) override;
	void OpenAddress(const char *url) override;
	void HidePanel() override;

private:
	HWND Control(int32_t id) const;
	PanelWindow &owner;
};

// The panel window and what lives as long as it does, with the panel's
// behaviour bound to it. The window procedure and the controls' subclass find
// it through the window's creation parameter and their reference data.
struct PanelWindow {
	PanelWindow(PanelState &state, Controller &controller) : panel{ui, state, controller} {}
	PanelWindow(const PanelWindow &) = delete;
	PanelWindow &operator=(const PanelWindow &) = delete;

	HWND window = nullptr;
	HWND list = nullptr;
	HIMAGELIST row_images = nullptr;
	// The controls enabled and disabled together with the form, in creation order.
	std::vector<HWND> form_controls;
	PanelTheme theme;
	Win32PanelUi ui{*this};
	Panel panel;
};

// The panel's window between openings, kept by the module; made at the first
// opening.
struct PanelWindowSlot {
	std::optional<PanelWindow> window;
};

// The module's own instance handle; the window class and every window of the
// panel belong to it.
HMODULE PanelModule();

// The panel window's procedure; the window is created with its PanelWindow as
// creation parameter.
LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Children of the panel (controls.cpp).
void CreateControls(PanelWindow &window);
HWND CreateControl(PanelWindow &window, const wchar_t *class_name, const wchar_t *caption, int32_t id, DWORD style,
		   int32_t x, int32_t y, int32_t width, int32_t height, bool form);
HWND CreateLabel(PanelWindow &window, const wchar_t *text, int32_t x, int32_t y, int32_t width);
HWND CreateField(PanelWindow &window, int32_t id, int32_t x, int32_t y, int32_t width, bool masked);
LRESULT CALLBACK ControlSubclassProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR subclass_id,
				     DWORD_PTR ref_data);
// Text colour and background of a field or label.
LRESULT ControlColors(const PanelTheme &theme, HWND control, HDC dc);
// Flips a row's tick through the panel's behaviour and shows it in the list.
void ToggleRowTick(PanelWindow &window, int32_t row);
// Writes a row's tick box from its destination's `enabled`.
void ShowRowTick(PanelWindow &window, int32_t row);

// Drawing (render.cpp).
// Draws a list given in the target's coordinates; `origin` is subtracted first.
void RenderDrawList(HDC dc, const DrawList &list, const PanelTheme &theme, POINT origin = {});
// Renders a list into `target` over `area` through a back buffer, or straight
// into the target when no buffer can be made.
void RenderBuffered(HDC target, const RECT &area, const DrawList &list, const PanelTheme &theme);
void FillRoundRect(HDC dc, const RECT &rect, int32_t diameter, Color fill, Color border);

inline std::wstring ToWide(const std::u16string &text)
{
	return std::wstring(text.begin(), text.end());
}

} // namespace torvane
