// The panel window's procedure and the Win32 side of the panel's toolkit
// interface: messages become calls into the portable behaviour, and what the
// behaviour asks of the toolkit becomes window messages.
#include "panel/win32/panel_window.h"

#include "settings/text.h"

#include <commctrl.h>
#include <obs.h>
#include <shellapi.h>

namespace torvane {

namespace {

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

Win32PanelUi win32_ui;

HWND Control(int32_t id)
{
	return panel_window.window ? GetDlgItem(panel_window.window, id) : nullptr;
}

int32_t DestinationCount()
{
	return static_cast<int32_t>(win32_panel.store.settings.destinations.size());
}

void OnListNotify(const NMHDR &header, LRESULT &result)
{
	const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
	PanelState &state = panel_state;
	if (header.code == LVN_ITEMCHANGING) {
		// Ticks are frozen while streaming and while the settings can't be
		// saved; the selection stays free.
		if (!state.form_guard && !CanChangeTicks(win32_panel) &&
		    ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK))
			result = TRUE;
		return;
	}
	if (header.code != LVN_ITEMCHANGED || state.form_guard || change.iItem < 0 ||
	    change.iItem >= DestinationCount())
		return;
	if ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK) {
		const auto image = static_cast<UINT>(SendMessageW(
			panel_window.list, LVM_GETITEMSTATE, static_cast<WPARAM>(change.iItem), LVIS_STATEIMAGEMASK));
		OnTickChanged(win32_panel, change.iItem, (image >> 12) != 1);
	}
	if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
		OnRowSelected(win32_panel, change.iItem);
}

void OnCommand(WPARAM wparam)
{
	const int32_t id = LOWORD(wparam);
	const UINT code = HIWORD(wparam);
	if (code == EN_CHANGE && id == id_bitrate)
		OnBitrateEdited(win32_panel);
	else if (code == EN_KILLFOCUS && id == id_server)
		OnServerFocusLost(win32_panel);
	else if (code == BN_CLICKED && id >= id_show && id <= id_coffee)
		OnButtonClicked(win32_panel, id);
}

void OnDrawItem(const DRAWITEMSTRUCT &item)
{
	const Rect rect = {item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
	DrawList list;
	if (item.CtlID == id_list) {
		list = PaintRow(win32_panel, static_cast<int32_t>(item.itemID), rect);
	} else {
		ButtonPaintState paint_state;
		paint_state.pressed = (item.itemState & ODS_SELECTED) != 0;
		paint_state.focused = (item.itemState & ODS_FOCUS) != 0;
		list = PaintButton(win32_panel, static_cast<int32_t>(item.CtlID), rect, paint_state);
	}
	// A row that no longer stands for a destination is left alone: an empty
	// buffer copied over it would paint it black.
	if (!list.empty())
		RenderBuffered(item.hDC, item.rcItem, list, panel_window.theme);
}

void OnDestroy()
{
	KillTimer(panel_window.window, refresh_timer_id);
	if (panel_window.row_images) {
		ImageList_Destroy(panel_window.row_images);
		panel_window.row_images = nullptr;
	}
	panel_window.form_controls.clear();
	panel_window.list = nullptr;
	panel_window.window = nullptr;
	OnPanelDestroyed(panel_state);
}

} // namespace

PanelWindow panel_window;
Panel win32_panel{win32_ui, panel_state, settings_store, engine, HostVideoInfo};

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
	switch (message) {
	case WM_CREATE:
		panel_window.window = window;
		CreateControls();
		return 0;
	case WM_DESTROY:
		OnDestroy();
		return 0;
	case WM_PAINT: {
		PAINTSTRUCT paint;
		HDC dc = BeginPaint(window, &paint);
		RenderBuffered(dc, paint.rcPaint, PaintPanel(win32_panel), panel_window.theme);
		EndPaint(window, &paint);
		return 0;
	}
	case WM_PRINTCLIENT:
		RenderDrawList(reinterpret_cast<HDC>(wparam), PaintPanel(win32_panel), panel_window.theme);
		return 0;
	case WM_CLOSE:
		OnCloseRequested(win32_panel);
		return 0;
	case WM_ERASEBKGND:
		return 1;
	case WM_DRAWITEM:
		OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
		return TRUE;
	case WM_MEASUREITEM:
		reinterpret_cast<MEASUREITEMSTRUCT *>(lparam)->itemHeight =
			static_cast<UINT>(Scale(row_height, panel_window.theme.panel_dpi));
		return TRUE;
	// Children being destroyed after the panel's WM_DESTROY still notify it;
	// their empty texts must not reach the model.
	case WM_NOTIFY: {
		LRESULT result = 0;
		const auto *header = reinterpret_cast<const NMHDR *>(lparam);
		if (panel_window.window && header->idFrom == id_list)
			OnListNotify(*header, result);
		return result;
	}
	case WM_COMMAND:
		if (panel_window.window)
			OnCommand(wparam);
		return 0;
	case WM_TIMER:
		OnTimer(win32_panel);
		return 0;
	case WM_CTLCOLOREDIT:
	case WM_CTLCOLORSTATIC:
		return ControlColors(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
	default:
		return DefWindowProcW(window, message, wparam, lparam);
	}
}

// --- The toolkit interface --------------------------------------------------

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
	HWND list = panel_window.list;
	SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
	const std::vector<Destination> &destinations = win32_panel.store.settings.destinations;
	for (int32_t i = 0; i < count && i < static_cast<int32_t>(destinations.size()); i++) {
		std::wstring name = ToWide(Utf8ToWide(destinations[static_cast<size_t>(i)].name));
		LVITEMW item = {};
		item.mask = LVIF_TEXT;
		item.iItem = i;
		item.pszText = name.data();
		SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
		ShowRowTick(i);
	}
}

void Win32PanelUi::SelectRow(int32_t row)
{
	if (row < 0)
		return;
	LVITEMW item = {};
	item.state = LVIS_SELECTED | LVIS_FOCUSED;
	item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
	SendMessageW(panel_window.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
	SendMessageW(panel_window.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void Win32PanelUi::InvalidatePanel()
{
	if (panel_window.window)
		InvalidateRect(panel_window.window, nullptr, FALSE);
}

void Win32PanelUi::InvalidateArea(const Rect &area)
{
	const RECT rect = {area.left, area.top, area.right, area.bottom};
	if (panel_window.window)
		InvalidateRect(panel_window.window, &rect, FALSE);
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
	if (panel_window.list &&
	    SendMessageW(panel_window.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)))
		InvalidateRect(panel_window.list, &rect, FALSE);
}

void Win32PanelUi::InvalidateList()
{
	if (panel_window.list)
		InvalidateRect(panel_window.list, nullptr, FALSE);
}

bool Win32PanelUi::AskYesNo(const std::u16string &text)
{
	return MessageBoxW(panel_window.window, ToWide(text).c_str(), L"Torvane", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32PanelUi::ShowNotice(const std::u16string &text)
{
	MessageBoxW(panel_window.window, ToWide(text).c_str(), L"Torvane", MB_OK | MB_ICONINFORMATION);
}

void Win32PanelUi::OpenAddress(const char *url)
{
	ShellExecuteW(panel_window.window, L"open", ToWide(Utf8ToWide(url)).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32PanelUi::HidePanel()
{
	if (panel_window.window)
		ShowWindow(panel_window.window, SW_HIDE);
}

} // namespace torvane
