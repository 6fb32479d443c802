// The box that asks for a text: a modal dialog made from a template built in
// memory, with a prompt, one field and OK and Cancel.
#include "panel/win32/panel_window.h"

#include "settings/utf8.h"

namespace torvane {

namespace {

constexpr WORD prompt_id = 100;
constexpr WORD field_id = 101;
constexpr int field_limit = 4096;

// The dialog's question and answer, given to its procedure when it starts.
struct TextBox {
	std::wstring prompt;
	std::wstring text;
	bool masked = false;
};

// A dialog template: DWORD-aligned items of WORDs, their strings inline.
struct TemplateWriter {
	std::vector<WORD> words;

	void Word(WORD value) { words.push_back(value); }
	void Dword(DWORD value)
	{
		Word(LOWORD(value));
		Word(HIWORD(value));
	}
	void String(const wchar_t *text)
	{
		while (*text)
			Word(static_cast<WORD>(*text++));
		Word(0);
	}
	void Align()
	{
		if (words.size() % 2)
			Word(0);
	}
	void Box(short x, short y, short width, short height)
	{
		for (short value : {x, y, width, height})
			Word(static_cast<WORD>(value));
	}
	// One control of a predefined class (0x0080 button, 0x0081 edit, 0x0082 static).
	void Item(DWORD style, short x, short y, short width, short height, WORD id, WORD atom, const wchar_t *text)
	{
		Align();
		Dword(style | WS_CHILD | WS_VISIBLE);
		Dword(0);
		Box(x, y, width, height);
		Word(id);
		Word(0xFFFF);
		Word(atom);
		String(text);
		Word(0); // no creation data
	}
};

INT_PTR CALLBACK TextBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
	auto *box = reinterpret_cast<TextBox *>(GetWindowLongPtrW(dialog, DWLP_USER));
	switch (message) {
	case WM_INITDIALOG: {
		box = reinterpret_cast<TextBox *>(lparam);
		SetWindowLongPtrW(dialog, DWLP_USER, lparam);
		SetDlgItemTextW(dialog, prompt_id, box->prompt.c_str());
		HWND field = GetDlgItem(dialog, field_id);
		SendMessageW(field, EM_SETLIMITTEXT, field_limit, 0);
		if (box->masked)
			SendMessageW(field, EM_SETPASSWORDCHAR, mask_char, 0);
		SetWindowTextW(field, box->text.c_str());
		SendMessageW(field, EM_SETSEL, 0, -1);
		SetFocus(field);
		return FALSE; // the focus is set
	}
	case WM_COMMAND:
		if (LOWORD(wparam) == IDOK && box) {
			HWND field = GetDlgItem(dialog, field_id);
			box->text.assign(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
			box->text.resize(static_cast<size_t>(
				GetWindowTextW(field, box->text.data(), static_cast<int>(box->text.size()))));
			EndDialog(dialog, IDOK);
			return TRUE;
		}
		if (LOWORD(wparam) == IDCANCEL) {
			EndDialog(dialog, IDCANCEL);
			return TRUE;
		}
		break;
	default:
		break;
	}
	return FALSE;
}

} // namespace

bool Win32PanelUi::AskText(const std::u16string &prompt, std::u16string &text, bool masked)
{
	if (!owner.window)
		return false;
	TextBox box{ToWide(prompt), ToWide(text), masked};
	const std::wstring ok = ToWide(Tr16(Txt::Ok)), cancel = ToWide(Tr16(Txt::Cancel));

	// In dialog units, with the system's dialog font.
	TemplateWriter t;
	t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
	t.Dword(0);
	t.Word(4);
	t.Box(0, 0, 250, 80);
	t.Word(0); // no menu
	t.Word(0); // the dialog class
	t.String(L"Torvane");
	t.Word(9);
	t.String(L"Segoe UI");
	t.Item(SS_LEFT, 7, 7, 236, 26, prompt_id, 0x0082, L"");
	t.Item(WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | (masked ? ES_PASSWORD : 0), 7, 36, 236, 14, field_id, 0x0081,
	       L"");
	t.Item(WS_TABSTOP | BS_DEFPUSHBUTTON, 139, 59, 50, 14, IDOK, 0x0080, ok.c_str());
	t.Item(WS_TABSTOP | BS_PUSHBUTTON, 193, 59, 50, 14, IDCANCEL, 0x0080, cancel.c_str());

	const INT_PTR result =
		DialogBoxIndirectParamW(PanelModule(), reinterpret_cast<const DLGTEMPLATE *>(t.words.data()),
					owner.window, TextBoxProc, reinterpret_cast<LPARAM>(&box));
	// The panel may have gone while the box was open.
	if (result != IDOK || !owner.window)
		return false;
	text.assign(box.text.begin(), box.text.end());
	return true;
}

} // namespace torvane
