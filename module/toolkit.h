#pragma once

// Process-wide start-up and teardown of the platform's user-interface
// libraries, around the module's load and unload.
namespace torvane {

// The platform's name in the load banner.
extern const char *const platform_name;

// Returns false when the libraries cannot be started; the module then does
// not load.
bool StartToolkit();

void StopToolkit();

// Calls `tick` once a second on the UI thread until StopTicker.
void StartTicker(void (*tick)());
void StopTicker();

// Calls `task(data)` on the UI thread in a later turn of its loop, never
// before returning; callable from any thread while the toolkit runs.
void RunLater(void (*task)(void *), void *data);

} // namespace torvane
