#pragma once

#include <windows.h>

namespace torvane {

// The module's own instance handle, taken at load; the panel registers its
// window class with it.
extern HMODULE module_instance;

} // namespace torvane
