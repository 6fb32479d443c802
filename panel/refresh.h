#pragma once

#include "panel/panel_state.h"

// What the panel re-evaluates on every tick of its timer and after every
// command: which controls may be used, and what must be repainted.
namespace torvane {

void UpdateControlStates(Panel &panel);
void OnTimer(Panel &panel);
// Marks for repainting the rows, header, summary and status line whose text or
// colour changed since the last refresh.
void LiveRefresh(Panel &panel);
// After a command, from the panel or from outside it: the form, the controls
// and the live texts follow what it changed.
void AfterCommand(Panel &panel);
// The window is gone: the caches start afresh for the next one.
void OnPanelDestroyed(PanelState &state);

} // namespace torvane
