// The once-a-second tick and the tasks for later on the UI thread: thread
// timers, delivered by the host's own message loop.
#include "module/toolkit.h"

#include <obs.h>
#include <windows.h>

#include <tuple>
#include <vector>

namespace torvane {

namespace {

UINT_PTR ticker = 0;
void (*ticker_tick)() = nullptr;

void CALLBACK OnTicker(HWND, UINT, UINT_PTR, DWORD)
{
	if (ticker_tick)
		ticker_tick();
}

// The host loads the module on its UI thread.
const DWORD ui_thread = GetCurrentThreadId();
std::vector<std::tuple<UINT_PTR, void (*)(void *), void *>> later; // UI thread only

void CALLBACK OnLater(HWND, UINT, UINT_PTR id, DWORD)
{
	KillTimer(nullptr, id);
	for (auto at = later.begin(); at != later.end(); ++at) {
		if (std::get<0>(*at) == id) {
			const auto [timer, task, data] = *at;
			later.erase(at);
			task(data);
			return;
		}
	}
}

} // namespace

void RunLater(void (*task)(void *), void *data)
{
	// From another thread libobs's UI task arrives through the host's loop.
	if (GetCurrentThreadId() != ui_thread)
		obs_queue_task(OBS_TASK_UI, task, data, false);
	else if (const UINT_PTR timer = SetTimer(nullptr, 0, 0, OnLater))
		later.emplace_back(timer, task, data);
}

void StartTicker(void (*tick)())
{
	if (ticker)
		KillTimer(nullptr, ticker);
	ticker_tick = tick;
	ticker = SetTimer(nullptr, 0, 1000, OnTicker);
}

// Also drops the tasks still waiting: none may reach an unloaded module.
void StopTicker()
{
	if (ticker)
		KillTimer(nullptr, ticker);
	ticker = 0;
	ticker_tick = nullptr;
	for (const auto &[timer, task, data] : later)
		KillTimer(nullptr, timer);
	later.clear();
}

} // namespace torvane
