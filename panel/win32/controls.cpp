// The panel's 24 child controls and the one subclass they share. The panel is
// not a dialog box, so the subclass supplies Tab navigation itself; it also
// reports hover and focus to the panel's behaviour and routes the two list
// inputs that toggle a tick.
#include "panel/win32/panel_window.h"

#include "module/windows/module_instance.h"
#include "settings/text.h"

#include <commctrl.h>
#include <windowsx.h>

namespace torvane {

namespace {

constexpr UINT_PTR subclass_id = 1;
constexpr DWORD list_style =
	LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER; // 0x440D
constexpr DWORD list_ex_style = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;

int32_t S(int32_t value)
{
	return Scale(value, Win32Window().theme.panel_dpi);
}

std::wstring Caption(const char *utf8)
{
	return ToWide(Utf8ToWide(utf8));
}

bool IsHoverButton(HWND control)
{
	return control != Win32Window().list && (GetWindowLongW(control, GWL_STYLE) & 0xF) == BS_OWNERDRAW;
}

int32_t FocusedRow()
{
	return static_cast<int32_t>(
		SendMessageW(Win32Window().list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

} // namespace

HWND CreateControl(const wchar_t *class_name, const wchar_t *caption, int32_t id, DWORD style, int32_t x, int32_t y,
		   int32_t width, int32_t height, bool form)
{
	HWND control = CreateWindowExW(0, class_name, caption, style | WS_CHILD | WS_VISIBLE | WS_TABSTOP, S(x), S(y),
				       S(width), S(height), Win32Window().window,
				       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_instance, nullptr);
	SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Win32Window().theme.font_body), TRUE);
	SetWindowSubclass(control, ControlSubclassProc, subclass_id, 0);
	if (form)
		Win32Window().form_controls.push_back(control);
	return control;
}

HWND CreateLabel(const wchar_t *text, int32_t x, int32_t y, int32_t width)
{
	HWND label = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, S(x), S(y), S(width), S(20),
				     Win32Window().window, nullptr, module_instance, nullptr);
	SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(Win32Window().theme.font_small), TRUE);
	return label;
}

HWND CreateField(int32_t id, int32_t x, int32_t y, int32_t width, bool masked)
{
	// The field has no border of its own: it sits inside the frame the panel
	// paints at x, y, width, 38 (the frame table).
	HWND field = CreateControl(L"EDIT", L"", id, ES_AUTOHSCROLL | (masked ? ES_PASSWORD : 0), x + 11, y + 9,
				   width - 22, 21, true);
	const ControlSpec *control = FindControl(id);
	SendMessageW(field, EM_LIMITTEXT, control ? control->max_length : 4096, 0);
	if (masked)
		SendMessageW(field, EM_SETPASSWORDCHAR, mask_char, 0);
	return field;
}

void CreateControls()
{
	PanelState &state = Win32Panel().state;
	state.form_guard = true;

	const ControlSpec &list = panel_controls[0];
	Win32Window().list = CreateControl(WC_LISTVIEWW, Caption(list.caption).c_str(), list.id, list_style, list.x,
					   list.y, list.width, list.height, false);
	HWND lv = Win32Window().list;
	SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, list_ex_style);
	SendMessageW(lv, LVM_SETBKCOLOR, 0, color_card);
	SendMessageW(lv, LVM_SETTEXTBKCOLOR, 0, color_card);
	SendMessageW(lv, LVM_SETTEXTCOLOR, 0, color_text);
	LVCOLUMNW column = {};
	column.mask = LVCF_WIDTH;
	column.cx = S(273);
	SendMessageW(lv, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
	// An empty image list whose height sets the rows' height.
	Win32Window().row_images = ImageList_Create(1, S(row_height), ILC_COLOR32, 1, 1);
	SendMessageW(lv, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(Win32Window().row_images));

	for (int32_t i = 1; i < control_count; i++) {
		const ControlSpec &entry = panel_controls[i];
		const std::wstring caption = Caption(entry.caption);
		switch (entry.kind) {
		case ControlKind::Label:
			CreateLabel(caption.c_str(), entry.x, entry.y, entry.width);
			break;
		case ControlKind::Field: {
			const EditFrame *frame = FindEditFrame(entry.id);
			CreateField(entry.id, frame->x, frame->y, frame->width, entry.masked);
			break;
		}
		case ControlKind::Button:
			CreateControl(L"BUTTON", caption.c_str(), entry.id, BS_OWNERDRAW, entry.x, entry.y, entry.width,
				      entry.height, entry.form);
			break;
		case ControlKind::List:
			break;
		}
	}
	state.form_guard = false;

	// The bitrate field, the list, the form and the enabled states.
	InitializeControls(Win32Panel());
	SetTimer(Win32Window().window, refresh_timer_id, refresh_period_ms, nullptr);
}

void ShowRowTick(int32_t row)
{
	const std::vector<Destination> &list = Win32Panel().store.settings.destinations;
	if (row < 0 || row >= static_cast<int32_t>(list.size()))
		return;
	const bool guard = Win32Panel().state.form_guard;
	Win32Panel().state.form_guard = true;
	LVITEMW item = {};
	item.stateMask = LVIS_STATEIMAGEMASK;
	item.state = INDEXTOSTATEIMAGEMASK(list[static_cast<size_t>(row)].enabled ? 2 : 1);
	SendMessageW(Win32Window().list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
	Win32Panel().state.form_guard = guard;
}

void ToggleRowTick(int32_t row)
{
	ToggleTick(Win32Panel(), row);
	ShowRowTick(row);
}

LRESULT ControlColors(HWND control, HDC dc)
{
	wchar_t class_name[32] = {};
	GetClassNameW(control, class_name, 32);
	SetBkMode(dc, OPAQUE);
	if (wcscmp(class_name, L"Edit") == 0) {
		SetTextColor(dc, color_text);
		SetBkColor(dc, color_field);
		return reinterpret_cast<LRESULT>(Win32Window().theme.brush_field);
	}
	SetTextColor(dc, color_muted);
	SetBkColor(dc, color_card);
	return reinterpret_cast<LRESULT>(Win32Window().theme.brush_card);
}

LRESULT CALLBACK ControlSubclassProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR)
{
	Panel &panel = Win32Panel();
	switch (message) {
	case WM_KEYDOWN:
		if (wparam == VK_TAB) {
			const bool backwards = GetKeyState(VK_SHIFT) < 0;
			if (HWND next = GetNextDlgTabItem(Win32Window().window, control, backwards))
				::SetFocus(next);
			return 0;
		}
		if (wparam == VK_SPACE && control == Win32Window().list) {
			ToggleRowTick(FocusedRow());
			return 0;
		}
		break;
	case WM_LBUTTONDOWN:
		if (control == Win32Window().list && GET_X_LPARAM(lparam) < S(tick_strip_width)) {
			LVHITTESTINFO hit = {};
			hit.pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
			const auto row = static_cast<int32_t>(
				SendMessageW(control, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
			ToggleRowTick(row);
			::SetFocus(control);
			return 0;
		}
		break;
	case WM_MOUSEMOVE:
		if (IsHoverButton(control) && panel.state.hovered_button != GetDlgCtrlID(control)) {
			OnButtonHovered(panel, GetDlgCtrlID(control));
			TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, control, 0};
			TrackMouseEvent(&track);
		}
		break;
	case WM_MOUSELEAVE:
		if (panel.state.hovered_button != 0 && panel.state.hovered_button == GetDlgCtrlID(control))
			OnButtonHovered(panel, 0);
		break;
	case WM_SETFOCUS:
	case WM_KILLFOCUS:
		OnFieldFocusChanged(panel, GetDlgCtrlID(control));
		break;
	case WM_NCDESTROY:
		RemoveWindowSubclass(control, ControlSubclassProc, subclass_id);
		break;
	default:
		break;
	}
	return DefSubclassProc(control, message, wparam, lparam);
}

} // namespace torvane
