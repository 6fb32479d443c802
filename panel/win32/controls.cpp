// The panel's 25 child controls and the one subclass they share. The panel is
// not a dialog box, so the subclass supplies Tab navigation itself; it also
// reports hover and focus to the panel's behaviour and routes the two list
// inputs that toggle a tick.
#include "panel/win32/panel_window.h"

#include "settings/utf8.h"
#include "settings/texts.h"

#include <commctrl.h>
#include <windowsx.h>

namespace torvane {

namespace {

constexpr UINT_PTR subclass_id = 1;
constexpr DWORD list_style =
	LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER; // 0x440D
constexpr DWORD list_ex_style = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;

std::wstring Caption(const char *utf8)
{
	return ToWide(Utf8ToWide(utf8));
}

bool IsHoverButton(const PanelWindow &w, HWND control)
{
	return control != w.list && (GetWindowLongW(control, GWL_STYLE) & 0xF) == BS_OWNERDRAW;
}

int32_t FocusedRow(const PanelWindow &w)
{
	return static_cast<int32_t>(SendMessageW(w.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

int32_t RowAt(const PanelWindow &w, POINT point)
{
	LVHITTESTINFO hit = {};
	hit.pt = point;
	return static_cast<int32_t>(SendMessageW(w.list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void SelectListRow(PanelWindow &w, int32_t row)
{
	w.ui.SelectRow(row);
	OnRowSelected(w.panel, row);
}

// A click at `point` in the list: true when it fell in a row's action strip,
// where it runs the row's action if it has one and is consumed either way.
bool ClickRowAction(PanelWindow &w, POINT point)
{
	const int32_t row = RowAt(w, point);
	RECT item = {};
	item.left = LVIR_BOUNDS;
	if (row < 0 ||
	    !SendMessageW(w.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)))
		return false;
	if (!InRowActionStrip({item.left, item.top, item.right, item.bottom}, point.x, w.theme.panel_dpi))
		return false;
	const RowAction action = RowActionFor(w.panel, row);
	if (action != RowAction::None) {
		SelectListRow(w, row);
		RunRowAction(w.panel, row, action);
	}
	return true;
}

// The row's context menu at `screen` (-1, -1 from the keyboard: at the
// selected row) with the three actions, only the row's own one enabled.
void ShowRowMenu(PanelWindow &w, LPARAM screen)
{
	POINT at = {GET_X_LPARAM(screen), GET_Y_LPARAM(screen)};
	int32_t row = w.panel.state.selected_index;
	if (at.x != -1 || at.y != -1) {
		POINT client = at;
		ScreenToClient(w.list, &client);
		row = RowAt(w, client);
	} else {
		RECT item = {};
		item.left = LVIR_BOUNDS;
		SendMessageW(w.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
		at = {item.left + (item.right - item.left) / 2, item.top + (item.bottom - item.top) / 2};
		ClientToScreen(w.list, &at);
	}
	if (row < 0 || row >= DestinationCount(w.panel))
		return;
	SelectListRow(w, row);
	const RowAction action = RowActionFor(w.panel, row);
	HMENU menu = CreatePopupMenu();
	UINT entry_id = 1;
	for (RowAction entry : row_menu_actions)
		AppendMenuW(menu, MF_STRING | (entry == action ? MF_ENABLED : MF_GRAYED), entry_id++,
			    ToWide(RowActionLabel(entry)).c_str());
	const BOOL chosen =
		TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, w.window, nullptr);
	DestroyMenu(menu);
	// The panel may have gone while the menu was open.
	if (chosen && w.window)
		RunRowAction(w.panel, row, action);
}

} // namespace

HWND CreateControl(PanelWindow &w, const wchar_t *class_name, const wchar_t *caption, int32_t id, DWORD style,
		   int32_t x, int32_t y, int32_t width, int32_t height, bool form)
{
	const uint32_t dpi = w.theme.panel_dpi;
	HWND control = CreateWindowExW(0, class_name, caption, style | WS_CHILD | WS_VISIBLE | WS_TABSTOP,
				       Scale(x, dpi), Scale(y, dpi), Scale(width, dpi), Scale(height, dpi), w.window,
				       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), PanelModule(), nullptr);
	SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(w.theme.font_body.get()), TRUE);
	SetWindowSubclass(control, ControlSubclassProc, subclass_id, reinterpret_cast<DWORD_PTR>(&w));
	if (form)
		w.form_controls.push_back(control);
	return control;
}

HWND CreateLabel(PanelWindow &w, const wchar_t *text, int32_t x, int32_t y, int32_t width)
{
	const uint32_t dpi = w.theme.panel_dpi;
	HWND label = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, Scale(x, dpi), Scale(y, dpi),
				     Scale(width, dpi), Scale(20, dpi), w.window, nullptr, PanelModule(), nullptr);
	SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(w.theme.font_small.get()), TRUE);
	return label;
}

HWND CreateField(PanelWindow &w, int32_t id, int32_t x, int32_t y, int32_t width, bool masked)
{
	// The field has no border of its own: it sits inside the frame the panel
	// paints at x, y, width, 38 (the frame table).
	HWND field = CreateControl(w, L"EDIT", L"", id, ES_AUTOHSCROLL | (masked ? ES_PASSWORD : 0), x + 11, y + 9,
				   width - 22, 21, true);
	const ControlSpec *control = FindControl(id);
	SendMessageW(field, EM_LIMITTEXT, control ? control->max_length : 4096, 0);
	if (masked)
		SendMessageW(field, EM_SETPASSWORDCHAR, mask_char, 0);
	return field;
}

void CreateControls(PanelWindow &w)
{
	PanelState &state = w.panel.state;
	state.form_guard = true;

	const ControlSpec &list = panel_controls[0];
	w.list = CreateControl(w, WC_LISTVIEWW, Caption(Tr(list.caption)).c_str(), list.id, list_style, list.x, list.y,
			       list.width, list.height, false);
	HWND lv = w.list;
	SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, list_ex_style);
	SendMessageW(lv, LVM_SETBKCOLOR, 0, ToColorref(color_card));
	SendMessageW(lv, LVM_SETTEXTBKCOLOR, 0, ToColorref(color_card));
	SendMessageW(lv, LVM_SETTEXTCOLOR, 0, ToColorref(color_text));
	LVCOLUMNW column = {};
	column.mask = LVCF_WIDTH;
	column.cx = Scale(273, w.theme.panel_dpi);
	SendMessageW(lv, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
	// An empty image list whose height sets the rows' height.
	w.row_images = ImageList_Create(1, Scale(row_height, w.theme.panel_dpi), ILC_COLOR32, 1, 1);
	SendMessageW(lv, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(w.row_images));

	for (int32_t i = 1; i < control_count; i++) {
		const ControlSpec &entry = panel_controls[i];
		const std::wstring caption = Caption(Tr(entry.caption));
		switch (entry.kind) {
		case ControlKind::Label:
			CreateLabel(w, caption.c_str(), entry.x, entry.y, entry.width);
			break;
		case ControlKind::Field: {
			const EditFrame *frame = FindEditFrame(entry.id);
			CreateField(w, entry.id, frame->x, frame->y, frame->width, entry.masked);
			break;
		}
		case ControlKind::Button:
			CreateControl(w, L"BUTTON", caption.c_str(), entry.id, BS_OWNERDRAW, entry.x, entry.y,
				      entry.width, entry.height, entry.form);
			break;
		case ControlKind::List:
			break;
		}
	}
	state.form_guard = false;

	// The bitrate field, the list, the form and the enabled states.
	InitializeControls(w.panel);
	SetTimer(w.window, refresh_timer_id, refresh_period_ms, nullptr);
}

void ShowRowTick(PanelWindow &w, int32_t row)
{
	const std::vector<Destination> &list = w.panel.controller.store.settings.destinations;
	if (row < 0 || row >= static_cast<int32_t>(list.size()))
		return;
	bool &guard_flag = w.panel.state.form_guard;
	const bool guard = guard_flag;
	guard_flag = true;
	LVITEMW item = {};
	item.stateMask = LVIS_STATEIMAGEMASK;
	item.state = INDEXTOSTATEIMAGEMASK(list[static_cast<size_t>(row)].enabled ? 2 : 1);
	SendMessageW(w.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
	guard_flag = guard;
}

void ToggleRowTick(PanelWindow &w, int32_t row)
{
	ToggleTick(w.panel, row);
	ShowRowTick(w, row);
}

LRESULT ControlColors(const PanelTheme &theme, HWND control, HDC dc)
{
	wchar_t class_name[32] = {};
	GetClassNameW(control, class_name, 32);
	SetBkMode(dc, OPAQUE);
	if (wcscmp(class_name, L"Edit") == 0) {
		SetTextColor(dc, ToColorref(color_text));
		SetBkColor(dc, ToColorref(color_field));
		return reinterpret_cast<LRESULT>(theme.brush_field.get());
	}
	SetTextColor(dc, ToColorref(color_muted));
	SetBkColor(dc, ToColorref(color_card));
	return reinterpret_cast<LRESULT>(theme.brush_card.get());
}

LRESULT CALLBACK ControlSubclassProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
				     DWORD_PTR ref_data)
{
	PanelWindow &w = *reinterpret_cast<PanelWindow *>(ref_data);
	Panel &panel = w.panel;
	switch (message) {
	case WM_KEYDOWN:
		if (wparam == VK_TAB) {
			const bool backwards = GetKeyState(VK_SHIFT) < 0;
			if (HWND next = GetNextDlgTabItem(w.window, control, backwards))
				::SetFocus(next);
			return 0;
		}
		if (wparam == VK_SPACE && control == w.list) {
			ToggleRowTick(w, FocusedRow(w));
			return 0;
		}
		if (wparam == VK_RETURN && control == w.list) {
			OnListEnter(panel);
			return 0;
		}
		break;
	case WM_CONTEXTMENU:
		if (control == w.list) {
			ShowRowMenu(w, lparam);
			return 0;
		}
		break;
	case WM_LBUTTONDOWN:
		if (control == w.list && GET_X_LPARAM(lparam) < Scale(tick_strip_width, w.theme.panel_dpi)) {
			LVHITTESTINFO hit = {};
			hit.pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
			const auto row = static_cast<int32_t>(
				SendMessageW(control, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
			ToggleRowTick(w, row);
			::SetFocus(control);
			return 0;
		}
		if (control == w.list && ClickRowAction(w, {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)})) {
			::SetFocus(control);
			return 0;
		}
		break;
	case WM_MOUSEMOVE:
		if (IsHoverButton(w, control) && panel.state.hovered_button != GetDlgCtrlID(control)) {
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
