#pragma once

#include "panel/panel_state.h"

#include <string>

// The commands behind the panel's buttons, and closing.
namespace torvane {

void OnButtonClicked(Panel &panel, int32_t id);
void OnButtonHovered(Panel &panel, int32_t id); // 0 when the pointer left a button
// The user closed the window; returns true when it was hidden.
bool OnCloseRequested(Panel &panel);
// The panel was opened: a settings file that could not be read is reported.
void OnPanelOpened(Panel &panel);
// Shows what a command the user clicked ended with: a refusal also in a message box.
void ShowOutcome(Panel &panel, const Outcome &outcome);

// The help page for a destination's platform.
const char *GuideUrlFor(const std::string &platform);

} // namespace torvane
