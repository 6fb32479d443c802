#pragma once

#include "panel/panel_state.h"

#include <string>

// The form that edits the selected destination and the bitrate: every edit
// reaches the settings as it is typed.
namespace torvane {

// A control that can only be used with a destination selected.
bool IsSelectionControl(int32_t id);
// Whether a form control may be used, settings aside: a selection control
// needs a selected destination, an own quality control one with its own quality.
bool IsControlUsable(const Panel &panel, int32_t id);
// Masks the key and password fields and names the button "Show".
void MaskSecrets(Panel &panel);

// After the toolkit created the controls: fills the bitrate field, the list
// and the form, and sets which controls may be used.
void InitializeControls(Panel &panel);

// Fills the form from the selected destination.
void LoadForm(Panel &panel);
// Writes into the form what a command changed in the settings (a completed
// Kick URL, say), leaving fields that already say the same alone.
void SyncForm(Panel &panel);

// Input forwarded by the toolkit.
void OnFieldEdited(Panel &panel, int32_t id);
void OnServerFocusLost(Panel &panel);
void OnFieldFocusChanged(Panel &panel, int32_t id);

// Parses the bitrate field as std::stoi would and requires the whole text.
int32_t ParseBitrate(const std::u16string &text);

} // namespace torvane
