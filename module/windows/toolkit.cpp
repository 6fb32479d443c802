// The Win32 panel's process-wide start-up and teardown around the module's load
// and unload: the module's own instance handle, GDI+ and the list-view classes.
#include "module/toolkit.h"
#include <windows.h>
#include <commctrl.h>

#include <gdiplus.h>

namespace torvane {

const char *const platform_name = "Windows";

namespace {

ULONG_PTR gdiplus_token = 0;

} // namespace

bool StartToolkit()
{
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
