#include "module/toolkit.h"

#include "panel/win32/panel_window.h"

namespace torvane {

PanelWindowSlot panel_window_slot;

} // namespace torvane
