#pragma once

// What the panel tests need to drive torvane.dll's window like a user under
// Wine: the module loaded as OBS loads it, a message pump, message boxes
// answered by a timer, real input messages, and screenshots whose pixels are
// compared with what the panel should show.
#include <windows.h>
#include <commctrl.h>

#include <obs-module.h>

#include "stub_host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace panel_testing {

// Runs the thread's messages for about `ms` milliseconds.
void Pump(DWORD ms = 60);

// Message boxes the module shows: each one found is recorded and closed with
// the next queued answer (IDOK when none is queued).
struct MessageBoxRecord {
	std::wstring caption;
	std::wstring text;
	int answer;
};
void QueueBoxAnswer(int answer);
std::vector<MessageBoxRecord> TakeBoxes();

// The module as OBS loads it, with its configuration folder.
class LoadedModule {
public:
	bool Load(const std::filesystem::path &config_dir);
	void Unload();
	// The Tools menu entry, as the user picks it; pumps afterwards.
	void PickMenuEntry();
	bool loaded = false;
	// Whether the panel's window class outlived the last unload.
	bool class_left_registered = false;

private:
	HMODULE dll = nullptr;
	bool (*load)(void) = nullptr;
	void (*unload)(void) = nullptr;
	int fake_module = 0;
	std::string config;
};

HWND FindPanel();
HWND Child(HWND panel, int id);
// The child's rectangle in the panel's client coordinates.
RECT ChildRect(HWND panel, HWND child);
std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// Input through window messages, as the system delivers it.
void Click(HWND control, int x = 5, int y = 5);
void Type(HWND field, const std::wstring &text); // replaces the field's text
void PressKey(HWND control, WPARAM key, bool shift = false);
void Hover(HWND control);

// The destination list.
int RowCount(HWND list);
int SelectedRow(HWND list);
bool RowTicked(HWND list, int row);

// A screenshot of a window's client area, children included.
struct Screenshot {
	int width = 0, height = 0;
	std::vector<uint32_t> pixels; // 0x00RRGGBB, top-down
	COLORREF At(int x, int y) const;
	bool Save(const std::filesystem::path &bmp) const;
};
Screenshot Capture(HWND window);

// Renders `text` as the panel does (the face the system gives "Segoe UI", the
// pixel size and weight, the colour on a solid background and DrawTextW flags)
// and counts the pixels of `area` that differ from the screenshot.
int TextDifference(const Screenshot &shot, const RECT &rect, const RECT &compare, const std::wstring &text, int pixels,
		   int weight, COLORREF color, COLORREF background, UINT flags);

std::filesystem::path ScreenshotDir();

} // namespace panel_testing
