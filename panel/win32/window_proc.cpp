// The panel window's procedure and the Win32 side of the panel's toolkit
// interface: messages become calls into the portable behaviour, and what the
// behaviour asks of the toolkit becomes window messages.
#include "panel/win32/panel_window.h"

#include "settings/utf8.h"

#include <commctrl.h>
#include <shellapi.h>

namespace torvane {

namespace {

int32_t DestinationCount(const PanelWindow &w)
{
	return DestinationCount(w.panel);
}

void OnListNotify(PanelWindow &w, const NMHDR &header, LRESULT &result)
{
	const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
	const PanelState &state = w.panel.state;
	if (header.code == LVN_ITEMCHANGING) {
		// Ticks are frozen while streaming and while the settings can't be
		// saved; the selection stays free.
		if (!state.form_guard && !CanChangeTicks(w.panel) &&
		    ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK))
			result = TRUE;
		return;
	}
	if (header.code != LVN_ITEMCHANGED || state.form_guard || change.iItem < 0 ||
	    change.iItem >= DestinationCount(w))
		return;
	if ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK) {
		const auto image = static_cast<UINT>(
			SendMessageW(w.list, LVM_GETITEMSTATE, static_cast<WPARAM>(change.iItem), LVIS_STATEIMAGEMASK));
		OnTickChanged(w.panel, change.iItem, (image >> 12) != 1);
	}
	if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
		OnRowSelected(w.panel, change.iItem);
}

void OnCommand(PanelWindow &w, WPARAM wparam)
{
	const int32_t id = LOWORD(wparam);
	const UINT code = HIWORD(wparam);
	if (code == EN_CHANGE)
		OnFieldEdited(w.panel, id);
	else if (code == EN_KILLFOCUS && id == id_server)
		OnServerFocusLost(w.panel);
	else if (code == BN_CLICKED && id >= id_show && id <= id_picture)
		OnButtonClicked(w.panel, id);
}

void OnDrawItem(PanelWindow &w, const DRAWITEMSTRUCT &item)
{
	const Rect rect = {item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
	DrawList list;
	if (item.CtlID == id_list) {
		list = PaintRow(w.panel, static_cast<int32_t>(item.itemID), rect);
	} else {
		ButtonPaintState paint_state;
		paint_state.pressed = (item.itemState & ODS_SELECTED) != 0;
		paint_state.focused = (item.itemState & ODS_FOCUS) != 0;
		list = PaintButton(w.panel, static_cast<int32_t>(item.CtlID), rect, paint_state);
	}
	// A row that no longer stands for a destination is left alone: an empty
	// buffer copied over it would paint it black.
	if (!list.empty())
		RenderBuffered(item.hDC, item.rcItem, list, w.theme);
}

void OnDestroy(PanelWindow &w)
{
	KillTimer(w.window, refresh_timer_id);
	if (w.row_images) {
		ImageList_Destroy(w.row_images);
		w.row_images = nullptr;
	}
	w.form_controls.clear();
	w.list = nullptr;
	w.window = nullptr;
	OnPanelDestroyed(w.panel.state);
}

LRESULT HandleMessage(PanelWindow &w, HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
	switch (message) {
	case WM_CREATE:
		w.window = window;
		CreateControls(w);
		return 0;
	case WM_DESTROY:
		OnDestroy(w);
		return 0;
	case WM_PAINT: {
		PAINTSTRUCT paint;
		HDC dc = BeginPaint(window, &paint);
		RenderBuffered(dc, paint.rcPaint, PaintPanel(w.panel), w.theme);
		EndPaint(window, &paint);
		return 0;
	}
	case WM_PRINTCLIENT:
		RenderDrawList(reinterpret_cast<HDC>(wparam), PaintPanel(w.panel), w.theme);
		return 0;
	case WM_CLOSE:
		OnCloseRequested(w.panel);
		return 0;
	case WM_ERASEBKGND:
		return 1;
	case WM_DRAWITEM:
		OnDrawItem(w, *reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
		return TRUE;
	case WM_MEASUREITEM:
		reinterpret_cast<MEASUREITEMSTRUCT *>(lparam)->itemHeight =
			static_cast<UINT>(Scale(row_height, w.theme.panel_dpi));
		return TRUE;
	// Children being destroyed after the panel's WM_DESTROY still notify it;
	// their empty texts must not reach the model.
	case WM_NOTIFY: {
		LRESULT result = 0;
		const auto *header = reinterpret_cast<const NMHDR *>(lparam);
		if (w.window && header->idFrom == id_list)
			OnListNotify(w, *header, result);
		return result;
	}
	case WM_COMMAND:
		if (w.window)
			OnCommand(w, wparam);
		return 0;
	case WM_TIMER:
		OnTimer(w.panel);
		return 0;
	case WM_CTLCOLOREDIT:
	case WM_CTLCOLORSTATIC:
		return ControlColors(w.theme, reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
	default:
		return DefWindowProcW(window, message, wparam, lparam);
	}
}

} // namespace

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
	// The window's PanelWindow comes with WM_NCCREATE, the first message that
	// carries the creation parameter; what arrives before goes to the default.
	if (message == WM_NCCREATE)
		SetWindowLongPtrW(
			window, GWLP_USERDATA,
			reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lparam)->lpCreateParams));
	auto *panel_window = reinterpret_cast<PanelWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
	return panel_window ? HandleMessage(*panel_window, window, message, wparam, lparam)
			    : DefWindowProcW(window, message, wparam, lparam);
}

// --- The toolkit interface --------------------------------------------------

HWND Win32PanelUi::Control(int32_t id) const
{
	return owner.window ? GetDlgItem(owner.window, id) : nullptr;
}

void Win32PanelUi::SetText(int32_t id, const std::u16string &text)
{
	SetWindowTextW(Control(id), ToWide(text).c_str());
}

std::u16string Win32PanelUi::Text(int32_t id) const
{
	HWND control = Control(id);
	const int length = control ? GetWindowTextLengthW(control) : 0;
	if (length <= 0)
		return std::u16string();
	std::wstring text(static_cast<size_t>(length) + 1, L'\0');
	const int read = GetWindowTextW(control, text.data(), length + 1);
	return std::u16string(text.begin(), text.begin() + (read > 0 ? read : 0));
}

void Win32PanelUi::SetEnabled(int32_t id, bool enabled)
{
	EnableWindow(Control(id), enabled);
}

bool Win32PanelUi::IsEnabled(int32_t id) const
{
	HWND control = Control(id);
	return control && IsWindowEnabled(control);
}

void Win32PanelUi::SetMasked(int32_t id, bool masked)
{
	SendMessageW(Control(id), EM_SETPASSWORDCHAR, masked ? mask_char : 0, 0);
}

bool Win32PanelUi::IsMasked(int32_t id) const
{
	HWND control = Control(id);
	return control && SendMessageW(control, EM_GETPASSWORDCHAR, 0, 0) != 0;
}

void Win32PanelUi::SetFocus(int32_t id)
{
	::SetFocus(Control(id));
}

bool Win32PanelUi::HasFocus(int32_t id) const
{
	HWND control = Control(id);
	return control && GetFocus() == control;
}

void Win32PanelUi::SetRowCount(int32_t count)
{
	// The behaviour holds the form-update guard, so the list's notifications
	// about these rows change nothing.
	HWND list = owner.list;
	SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
	const std::vector<Destination> &destinations = owner.panel.controller.store.settings.destinations;
	for (int32_t i = 0; i < count && i < static_cast<int32_t>(destinations.size()); i++) {
		std::wstring name = ToWide(Utf8ToWide(destinations[static_cast<size_t>(i)].name));
		LVITEMW item = {};
		item.mask = LVIF_TEXT;
		item.iItem = i;
		item.pszText = name.data();
		SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
		ShowRowTick(owner, i);
	}
}

void Win32PanelUi::SelectRow(int32_t row)
{
	if (row < 0)
		return;
	LVITEMW item = {};
	item.state = LVIS_SELECTED | LVIS_FOCUSED;
	item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
	SendMessageW(owner.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
	SendMessageW(owner.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void Win32PanelUi::InvalidatePanel()
{
	if (owner.window)
		InvalidateRect(owner.window, nullptr, FALSE);
}

void Win32PanelUi::InvalidateArea(const Rect &area)
{
	const RECT rect = {area.left, area.top, area.right, area.bottom};
	if (owner.window)
		InvalidateRect(owner.window, &rect, FALSE);
}

void Win32PanelUi::InvalidateControl(int32_t id)
{
	// Fields redraw their text on a fresh background when the mask changes.
	HWND control = Control(id);
	if (control)
		InvalidateRect(control, nullptr, FindEditFrame(id) != nullptr);
}

void Win32PanelUi::InvalidateRow(int32_t row)
{
	RECT rect = {};
	rect.left = LVIR_BOUNDS;
	if (owner.list &&
	    SendMessageW(owner.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)))
		InvalidateRect(owner.list, &rect, FALSE);
}

void Win32PanelUi::InvalidateList()
{
	if (owner.list)
		InvalidateRect(owner.list, nullptr, FALSE);
}

bool Win32PanelUi::AskYesNo(const std::u16string &text)
{
	return MessageBoxW(owner.window, ToWide(text).c_str(), L"Torvane", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32PanelUi::ShowNotice(const std::u16string &text)
{
	MessageBoxW(owner.window, ToWide(text).c_str(), L"Torvane", MB_OK | MB_ICONINFORMATION);
}

int32_t Win32PanelUi::ChooseFromMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked)
{
	if (!owner.window)
		return -1;
	HMENU menu = CreatePopupMenu();
	for (size_t i = 0; i < items.size(); i++)
		AppendMenuW(menu, MF_STRING | (static_cast<int32_t>(i) == checked ? MF_CHECKED : MF_UNCHECKED), i + 1,
			    ToWide(items[i]).c_str());
	POINT at = {anchor.left, anchor.bottom};
	ClientToScreen(owner.window, &at);
	const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTBUTTON | TPM_NONOTIFY, at.x, at.y, 0,
					   owner.window, nullptr);
	DestroyMenu(menu);
	// The panel may have gone while the menu was open.
	return chosen && owner.window ? chosen - 1 : -1;
}

void Win32PanelUi::OpenAddress(const char *url)
{
	ShellExecuteW(owner.window, L"open", ToWide(Utf8ToWide(url)).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32PanelUi::HidePanel()
{
	if (owner.window)
		ShowWindow(owner.window, SW_HIDE);
}

} // namespace torvane
