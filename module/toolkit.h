#pragma once

#include <memory>

// The platform's user-interface libraries while the module is loaded: started
// with the module object and stopped with it, after the panel is gone.
namespace torvane {

// The platform's own state (module/linux/toolkit.cpp, module/windows/toolkit.cpp).
struct Toolkit;
struct ToolkitStop {
	void operator()(Toolkit *toolkit) const;
};
using ToolkitHandle = std::unique_ptr<Toolkit, ToolkitStop>;

// The platform's name in the load banner.
extern const char *const platform_name;

// Null when the libraries cannot be started; the module then does not load.
ToolkitHandle StartToolkit();

// Calls `tick(data)` once a second on the UI thread until StopTicker or the
// toolkit stops.
void StartTicker(Toolkit &toolkit, void (*tick)(void *), void *data);
void StopTicker(Toolkit &toolkit);

// Calls `task(data)` on the UI thread in a later turn of its loop, never
// before returning; callable from any thread while the toolkit runs. A task
// may still arrive after the module was unloaded: it must check for that.
void RunLater(Toolkit &toolkit, void (*task)(void *), void *data);

} // namespace torvane
