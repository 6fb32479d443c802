// The once-a-second tick on the UI thread: a thread timer, delivered by the
// host's own message loop.
#include "module/toolkit.h"

#include <windows.h>

namespace torvane {

namespace {

UINT_PTR ticker = 0;
void (*ticker_tick)() = nullptr;

void CALLBACK OnTicker(HWND, UINT, UINT_PTR, DWORD)
{
	if (ticker_tick)
		ticker_tick();
}

} // namespace

void StartTicker(void (*tick)())
{
	StopTicker();
	ticker_tick = tick;
	ticker = SetTimer(nullptr, 0, 1000, OnTicker);
}

void StopTicker()
{
	if (ticker)
		KillTimer(nullptr, ticker);
	ticker = 0;
	ticker_tick = nullptr;
}

} // namespace torvane
