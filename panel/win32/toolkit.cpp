// The Win32 panel's process-wide start-up and teardown around the module's load
// and unload: the module's own instance handle, GDI+ and the list-view classes.
#include "module/toolkit.h"
#include "panel/win32/panel_window.h"

#include <gdiplus.h>

namespace torvane {

const char *const platform_name = "Windows";

namespace {

HMODULE module_instance = nullptr;
ULONG_PTR gdiplus_token = 0;

} // namespace

HMODULE PanelModule()
{
	return module_instance;
}

bool StartToolkit()
{
	// The address of one of our own functions names this module; its
	// reference count stays as the host left it.
	GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
			   reinterpret_cast<LPCWSTR>(&StartToolkit), &module_instance);

	Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, background thread, external codecs
	if (Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr) != Gdiplus::Ok) {
		gdiplus_token = 0;
		return false;
	}

	INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
	InitCommonControlsEx(&controls);
	return true;
}

// After the panel, its fonts and brushes and its window class are gone.
void StopToolkit()
{
	if (gdiplus_token != 0) {
		Gdiplus::GdiplusShutdown(gdiplus_token);
		gdiplus_token = 0;
	}
}

} // namespace torvane
