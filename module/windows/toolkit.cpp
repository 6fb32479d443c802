// The Win32 panel's process-wide start-up and teardown around the module's load
// and unload (GDI+ and the list-view classes), the once-a-second tick and the
// tasks for later on the UI thread: thread timers, delivered by the host's own
// message loop.
#include "module/toolkit.h"

#include "module/module.h"

#include <obs.h>
#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <tuple>
#include <vector>

namespace torvane {

const char *const platform_name = "Windows";

struct Toolkit {
	ULONG_PTR gdiplus_token = 0;
	DWORD ui_thread = GetCurrentThreadId(); // the host loads the module on its UI thread
	UINT_PTR ticker = 0;
	void (*tick)(void *) = nullptr;
	void *tick_data = nullptr;
	std::vector<std::tuple<UINT_PTR, void (*)(void *), void *>> later; // UI thread only
};

namespace {

// Thread timers carry no data of their own: they reach the toolkit through
// the loaded module, and do nothing once it is gone.
Toolkit *LoadedToolkit()
{
	Module *module = LoadedModule();
	return module ? module->toolkit.get() : nullptr;
}

void CALLBACK OnTicker(HWND, UINT, UINT_PTR, DWORD)
{
	if (Toolkit *toolkit = LoadedToolkit(); toolkit && toolkit->tick)
		toolkit->tick(toolkit->tick_data);
}

void CALLBACK OnLater(HWND, UINT, UINT_PTR id, DWORD)
{
	KillTimer(nullptr, id);
	Toolkit *toolkit = LoadedToolkit();
	if (!toolkit)
		return;
	for (auto at = toolkit->later.begin(); at != toolkit->later.end(); ++at) {
		if (std::get<0>(*at) == id) {
			const auto [timer, task, data] = *at;
			toolkit->later.erase(at);
			task(data);
			return;
		}
	}
}

} // namespace

ToolkitHandle StartToolkit()
{
	ToolkitHandle toolkit(new Toolkit);
	Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, background thread, external codecs
	if (Gdiplus::GdiplusStartup(&toolkit->gdiplus_token, &input, nullptr) != Gdiplus::Ok) {
		toolkit->gdiplus_token = 0;
		return nullptr;
	}
	INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
	InitCommonControlsEx(&controls);
	return toolkit;
}

// After the panel, its fonts and brushes and its window class are gone; the
// tasks still waiting are dropped: none may reach an unloaded module.
void ToolkitStop::operator()(Toolkit *toolkit) const
{
	StopTicker(*toolkit);
	for (const auto &[timer, task, data] : toolkit->later)
		KillTimer(nullptr, timer);
	if (toolkit->gdiplus_token != 0)
		Gdiplus::GdiplusShutdown(toolkit->gdiplus_token);
	delete toolkit;
}

void RunLater(Toolkit &toolkit, void (*task)(void *), void *data)
{
	// From another thread libobs's UI task arrives through the host's loop.
	if (GetCurrentThreadId() != toolkit.ui_thread)
		obs_queue_task(OBS_TASK_UI, task, data, false);
	else if (const UINT_PTR timer = SetTimer(nullptr, 0, 0, OnLater))
		toolkit.later.emplace_back(timer, task, data);
}

void StartTicker(Toolkit &toolkit, void (*tick)(void *), void *data)
{
	StopTicker(toolkit);
	toolkit.tick = tick;
	toolkit.tick_data = data;
	toolkit.ticker = SetTimer(nullptr, 0, 1000, OnTicker);
}

void StopTicker(Toolkit &toolkit)
{
	if (toolkit.ticker)
		KillTimer(nullptr, toolkit.ticker);
	toolkit.ticker = 0;
	toolkit.tick = nullptr;
	toolkit.tick_data = nullptr;
}

} // namespace torvane
