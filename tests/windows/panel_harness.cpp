#include "panel_harness.h"

#include <fstream>

namespace panel_testing {

namespace {

std::deque<int> box_answers;
std::vector<MessageBoxRecord> boxes;

BOOL CALLBACK AnswerBox(HWND window, LPARAM)
{
	if (ClassName(window) != L"#32770" || !IsWindowVisible(window))
		return TRUE;
	MessageBoxRecord record;
	record.caption = WindowText(window);
	wchar_t text[1024] = {};
	GetDlgItemTextW(window, 0xFFFF, text, 1024);
	record.text = text;
	record.answer = IDOK;
	if (!box_answers.empty()) {
		record.answer = box_answers.front();
		box_answers.pop_front();
	}
	boxes.push_back(record);
	PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(record.answer), 0);
	return FALSE;
}

// A thread timer runs inside every modal loop of this thread, message boxes'
// included.
void CALLBACK BoxTimer(HWND, UINT, UINT_PTR, DWORD)
{
	EnumThreadWindows(GetCurrentThreadId(), AnswerBox, 0);
}

UINT_PTR box_timer = 0;

template<typename T>
void Resolve(HMODULE dll, const char *name, T &function)
{
	function = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
}

} // namespace

void Pump(DWORD ms)
{
	if (!box_timer)
		box_timer = SetTimer(nullptr, 0, 40, BoxTimer);
	const DWORD end = GetTickCount() + ms;
	do {
		MSG message;
		while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
			TranslateMessage(&message);
			DispatchMessageW(&message);
		}
		Sleep(5);
	} while (static_cast<int32_t>(end - GetTickCount()) > 0);
}

void QueueBoxAnswer(int answer)
{
	if (!box_timer)
		box_timer = SetTimer(nullptr, 0, 40, BoxTimer);
	box_answers.push_back(answer);
}

std::vector<MessageBoxRecord> TakeBoxes()
{
	std::vector<MessageBoxRecord> taken;
	taken.swap(boxes);
	return taken;
}

bool LoadedModule::Load(const std::filesystem::path &config_dir)
{
	stub_obs_reset();
	stub_frontend_reset();
	config = config_dir.string();
	stub_obs_set_config_dir(config_dir.empty() ? nullptr : config.c_str());
	dll = LoadLibraryW(L"torvane.dll");
	if (!dll)
		return false;
	void (*set_pointer)(obs_module_t *) = nullptr;
	Resolve(dll, "obs_module_set_pointer", set_pointer);
	Resolve(dll, "obs_module_load", load);
	Resolve(dll, "obs_module_unload", unload);
	if (!set_pointer || !load || !unload)
		return false;
	set_pointer(reinterpret_cast<obs_module_t *>(&fake_module));
	loaded = load();
	return loaded;
}

void LoadedModule::Unload()
{
	if (loaded)
		unload();
	loaded = false;
	WNDCLASSW window_class = {};
	class_left_registered = dll && GetClassInfoW(dll, L"TorvaneWindow", &window_class);
	if (dll)
		FreeLibrary(dll);
	dll = nullptr;
	Pump(20);
}

void LoadedModule::PickMenuEntry()
{
	ASSERT_EQ(stub_frontend_menu_count(), 1);
	stub_frontend_menu_callback(0)(stub_frontend_menu_data(0));
	Pump();
}

HWND FindPanel()
{
	return FindWindowW(L"TorvaneWindow", nullptr);
}

HWND Child(HWND panel, int id)
{
	return GetDlgItem(panel, id);
}

RECT ChildRect(HWND panel, HWND child)
{
	RECT rect = {};
	GetWindowRect(child, &rect);
	MapWindowPoints(nullptr, panel, reinterpret_cast<POINT *>(&rect), 2);
	return rect;
}

std::wstring WindowText(HWND window)
{
	wchar_t text[1024] = {};
	GetWindowTextW(window, text, 1024);
	return text;
}

std::wstring ClassName(HWND window)
{
	wchar_t name[64] = {};
	GetClassNameW(window, name, 64);
	return name;
}

void Click(HWND control, int x, int y)
{
	// The list's own click handling waits for the button to come up.
	PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
	SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
	Pump();
}

void Type(HWND field, const std::wstring &text)
{
	SetFocus(field);
	SendMessageW(field, EM_SETSEL, 0, -1);
	SendMessageW(field, WM_CHAR, VK_BACK, 1);
	for (wchar_t c : text)
		SendMessageW(field, WM_CHAR, c, 1);
	Pump(20);
}

void PressKey(HWND control, WPARAM key, bool shift)
{
	BYTE keys[256] = {};
	GetKeyboardState(keys);
	keys[VK_SHIFT] = shift ? 0x80 : 0;
	SetKeyboardState(keys);
	SendMessageW(control, WM_KEYDOWN, key, 1);
	keys[VK_SHIFT] = 0;
	SetKeyboardState(keys);
	Pump(20);
}

void Hover(HWND control)
{
	RECT rect = {};
	GetWindowRect(control, &rect);
	SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
	SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM((rect.right - rect.left) / 2, (rect.bottom - rect.top) / 2));
	Pump();
}

int RowCount(HWND list)
{
	return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

int SelectedRow(HWND list)
{
	return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool RowTicked(HWND list, int row)
{
	const auto state =
		static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
	return (state >> 12) == 2;
}

COLORREF Screenshot::At(int x, int y) const
{
	if (x < 0 || y < 0 || x >= width || y >= height)
		return CLR_INVALID;
	const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
	return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool Screenshot::Save(const std::filesystem::path &bmp) const
{
	std::filesystem::create_directories(bmp.parent_path());
	BITMAPFILEHEADER file = {};
	BITMAPINFOHEADER info = {};
	info.biSize = sizeof(info);
	info.biWidth = width;
	info.biHeight = -height;
	info.biPlanes = 1;
	info.biBitCount = 32;
	info.biCompression = BI_RGB;
	const DWORD bytes = static_cast<DWORD>(pixels.size() * 4);
	file.bfType = 0x4D42;
	file.bfOffBits = sizeof(file) + sizeof(info);
	file.bfSize = file.bfOffBits + bytes;
	std::ofstream out(bmp, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char *>(&file), sizeof(file));
	out.write(reinterpret_cast<const char *>(&info), sizeof(info));
	out.write(reinterpret_cast<const char *>(pixels.data()), bytes);
	return static_cast<bool>(out);
}

static std::vector<uint32_t> ReadBitmap(HDC dc, HBITMAP bitmap, int width, int height)
{
	BITMAPINFO info = {};
	info.bmiHeader.biSize = sizeof(info.bmiHeader);
	info.bmiHeader.biWidth = width;
	info.bmiHeader.biHeight = -height;
	info.bmiHeader.biPlanes = 1;
	info.bmiHeader.biBitCount = 32;
	info.bmiHeader.biCompression = BI_RGB;
	std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
	GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
	for (uint32_t &p : pixels)
		p &= 0xFFFFFF;
	return pixels;
}

Screenshot Capture(HWND window)
{
	RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
	Pump(40);
	Screenshot shot;
	RECT client = {};
	GetClientRect(window, &client);
	shot.width = client.right;
	shot.height = client.bottom;
	// Without DCX_CLIPCHILDREN the window's DC reads its children's pixels too.
	HDC source = GetDCEx(window, nullptr, DCX_CACHE);
	HDC memory = CreateCompatibleDC(source);
	HBITMAP bitmap = CreateCompatibleBitmap(source, shot.width, shot.height);
	HGDIOBJ old = SelectObject(memory, bitmap);
	BitBlt(memory, 0, 0, shot.width, shot.height, source, 0, 0, SRCCOPY);
	SelectObject(memory, old);
	shot.pixels = ReadBitmap(memory, bitmap, shot.width, shot.height);
	DeleteObject(bitmap);
	DeleteDC(memory);
	ReleaseDC(window, source);
	return shot;
}

int TextDifference(const Screenshot &shot, const RECT &rect, const RECT &compare, const std::wstring &text, int pixels,
		   int weight, COLORREF color, COLORREF background, UINT flags)
{
	HDC screen = GetDC(nullptr);
	HDC memory = CreateCompatibleDC(screen);
	const int width = rect.right - rect.left, height = rect.bottom - rect.top;
	HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
	HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
	HFONT font = CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
				 CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0, L"Segoe UI");
	HGDIOBJ old_font = SelectObject(memory, font);
	RECT local = {0, 0, width, height};
	HBRUSH brush = CreateSolidBrush(background);
	FillRect(memory, &local, brush);
	DeleteObject(brush);
	SetBkMode(memory, TRANSPARENT);
	SetTextColor(memory, color);
	DrawTextW(memory, text.c_str(), -1, &local, flags);
	SelectObject(memory, old_font);
	DeleteObject(font);
	SelectObject(memory, old_bitmap);
	const std::vector<uint32_t> expected = ReadBitmap(memory, bitmap, width, height);
	DeleteObject(bitmap);
	DeleteDC(memory);
	ReleaseDC(nullptr, screen);

	// The text may sit a few pixels off where the list places its rows
	// differently (Wine's owner-drawn rows start 2 pixels in): the best match
	// over small shifts counts.
	int best = -1;
	for (int dy = -2; dy <= 2; dy++)
		for (int dx = -3; dx <= 3; dx++) {
			int differences = 0;
			for (int y = compare.top; y < compare.bottom; y++)
				for (int x = compare.left; x < compare.right; x++) {
					const uint32_t e =
						expected[static_cast<size_t>(y - rect.top) * width + (x - rect.left)];
					if (shot.At(x + dx, y + dy) != RGB((e >> 16) & 0xFF, (e >> 8) & 0xFF, e & 0xFF))
						differences++;
				}
			if (best < 0 || differences < best)
				best = differences;
		}
	return best;
}

std::filesystem::path ScreenshotDir()
{
	// The tests run in the build's bin folder.
	return std::filesystem::current_path().parent_path() / "screenshots";
}

} // namespace panel_testing
