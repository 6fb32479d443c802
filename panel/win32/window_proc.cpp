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

HWND Control(int32_t id)
{
	return Win32Window().window ? GetDlgItem(Win32Window().window, id) : nullptr;
}

int32_t DestinationCount()
{
	return static_cast<int32_t>(Win32Panel().store.settings.destinations.size());
}

void OnListNotify(const NMHDR &header, LRESULT &result)
{
	const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
	PanelState &state = Win32Panel().state;
	if (header.code == LVN_ITEMCHANGING) {
		// Ticks are frozen while streaming and while the settings can't be
		// saved; the selection stays free.
		if (!state.form_guard && !CanChangeTicks(Win32Panel()) &&
		    ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK))
			result = TRUE;
		return;
	}
	if (header.code != LVN_ITEMCHANGED || state.form_guard || change.iItem < 0 ||
	    change.iItem >= DestinationCount())
		return;
	if ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK) {
		const auto image = static_cast<UINT>(SendMessageW(
			Win32Window().list, LVM_GETITEMSTATE, static_cast<WPARAM>(change.iItem), LVIS_STATEIMAGEMASK));
		OnTickChanged(Win32Panel(), change.iItem, (image >> 12) != 1);
	}
	if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
		OnRowSelected(Win32Panel(), change.iItem);
}

void OnCommand(WPARAM wparam)
{
	const int32_t id = LOWORD(wparam);
	const UINT code = HIWORD(wparam);
	if (code == EN_CHANGE && id == id_bitrate)
		OnBitrateEdited(Win32Panel());
	else if (code == EN_KILLFOCUS && id == id_server)
		OnServerFocusLost(Win32Panel());
	else if (code == BN_CLICKED && id >= id_show && id <= id_coffee)
		OnButtonClicked(Win32Panel(), id);
}

void OnDrawItem(const DRAWITEMSTRUCT &item)
{
	const Rect rect = {item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
	DrawList list;
	if (item.CtlID == id_list) {
		list = PaintRow(Win32Panel(), static_cast<int32_t>(item.itemID), rect);
	} else {
		ButtonPaintState paint_state;
		paint_state.pressed = (item.itemState & ODS_SELECTED) != 0;
		paint_state.focused = (item.itemState & ODS_FOCUS) != 0;
		list = PaintButton(Win32Panel(), static_cast<int32_t>(item.CtlID), rect, paint_state);
	}
	// A row that no longer stands for a destination is left alone: an empty
	// buffer copied over it would paint it black.
	if (!list.empty())
		RenderBuffered(item.hDC, item.rcItem, list, Win32Window().theme);
}

void OnDestroy()
{
	KillTimer(Win32Window().window, refresh_timer_id);
	if (Win32Window().row_images) {
		ImageList_Destroy(Win32Window().row_images);
		Win32Window().row_images = nullptr;
	}
	Win32Window().form_controls.clear();
	Win32Window().list = nullptr;
	Win32Window().window = nullptr;
	OnPanelDestroyed(Win32Panel().state);
}

} // namespace

PanelWindowSlot *win32_slot = nullptr;

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
	switch (message) {
	case WM_CREATE:
		Win32Window().window = window;
		CreateControls();
		return 0;
	case WM_DESTROY:
		OnDestroy();
		return 0;
	case WM_PAINT: {
		PAINTSTRUCT paint;
		HDC dc = BeginPaint(window, &paint);
		RenderBuffered(dc, paint.rcPaint, PaintPanel(Win32Panel()), Win32Window().theme);
		EndPaint(window, &paint);
		return 0;
	}
	case WM_PRINTCLIENT:
		RenderDrawList(reinterpret_cast<HDC>(wparam), PaintPanel(Win32Panel()), Win32Window().theme);
		return 0;
	case WM_CLOSE:
		OnCloseRequested(Win32Panel());
		return 0;
	case WM_ERASEBKGND:
		return 1;
	case WM_DRAWITEM:
		OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
		return TRUE;
	case WM_MEASUREITEM:
		reinterpret_cast<MEASUREITEMSTRUCT *>(lparam)->itemHeight =
			static_cast<UINT>(Scale(row_height, Win32Window().theme.panel_dpi));
		return TRUE;
	// Children being destroyed after the panel's WM_DESTROY still notify it;
	// their empty texts must not reach the model.
	case WM_NOTIFY: {
		LRESULT result = 0;
		const auto *header = reinterpret_cast<const NMHDR *>(lparam);
		if (Win32Window().window && header->idFrom == id_list)
			OnListNotify(*header, result);
		return result;
	}
	case WM_COMMAND:
		if (Win32Window().window)
			OnCommand(wparam);
		return 0;
	case WM_TIMER:
		OnTimer(Win32Panel());
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
	HWND list = Win32Window().list;
	SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
	const std::vector<Destination> &destinations = Win32Panel().store.settings.destinations;
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
	SendMessageW(Win32Window().list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
	SendMessageW(Win32Window().list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void Win32PanelUi::InvalidatePanel()
{
	if (Win32Window().window)
		InvalidateRect(Win32Window().window, nullptr, FALSE);
}

void Win32PanelUi::InvalidateArea(const Rect &area)
{
	const RECT rect = {area.left, area.top, area.right, area.bottom};
	if (Win32Window().window)
		InvalidateRect(Win32Window().window, &rect, FALSE);
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
	if (Win32Window().list && SendMessageW(Win32Window().list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
					       reinterpret_cast<LPARAM>(&rect)))
		InvalidateRect(Win32Window().list, &rect, FALSE);
}

void Win32PanelUi::InvalidateList()
{
	if (Win32Window().list)
		InvalidateRect(Win32Window().list, nullptr, FALSE);
}

bool Win32PanelUi::AskYesNo(const std::u16string &text)
{
	return MessageBoxW(Win32Window().window, ToWide(text).c_str(), L"Torvane", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void Win32PanelUi::ShowNotice(const std::u16string &text)
{
	MessageBoxW(Win32Window().window, ToWide(text).c_str(), L"Torvane", MB_OK | MB_ICONINFORMATION);
}

void Win32PanelUi::OpenAddress(const char *url)
{
	ShellExecuteW(Win32Window().window, L"open", ToWide(Utf8ToWide(url)).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32PanelUi::HidePanel()
{
	if (Win32Window().window)
		ShowWindow(Win32Window().window, SW_HIDE);
}

} // namespace torvane
