#pragma once

#include "control/controller.h"
#include "panel/panel_ui.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// What the panel's files share: the state that outlives its window and the
// binding of one window to the controller.
namespace torvane {

// Panel state that outlives the window: a panel opened again shows it as it was.
struct PanelState {
	int32_t selected_index = 0; // -1 while the list is empty
	bool form_guard = false;    // set while the panel writes into its own controls
	uint32_t dpi = 96;
	int32_t hovered_button = 0; // control id, 0 for none
	Snapshot shown;             // what the live refresh last saw
};

// Everything one panel works on. The module binds its controller and state to
// the toolkit's window; the tests bind their own.
struct Panel {
	PanelUi &ui;
	PanelState &state;
	Controller &controller;
};

int32_t DestinationCount(const Panel &panel);
bool HasSelection(const Panel &panel);
// The selected destination; only while HasSelection.
const Destination &Selected(const Panel &panel);
// The selected destination's place in the list, none without a selection.
std::optional<size_t> SelectedIndex(const Panel &panel);
// The quality the selected destination streams at; the shared one without a selection.
Quality SelectedQuality(const Panel &panel);

} // namespace torvane
