#include "panel/panel.h"

// The panel's window is not built yet: the menu entry and the host events reach
// these functions and find no window to act on.
namespace torvane {

void OpenControlPanel(void *) {}

void ShowStreamsStoppedByHost() {}

void DestroyControlPanel() {}

void ReleasePanelResources() {}

} // namespace torvane
