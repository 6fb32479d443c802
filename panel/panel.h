#pragma once

#include "control/controller.h"
#include "panel/panel_state.h"

#include <memory>

// What the module's entry points and host events need of the control panel.
namespace torvane {

// The toolkit's window and its drawing resources, between openings.
struct PanelWindowSlot;

// The control panel over the module's controller: its state, which outlives
// the window, and the window's slot. The Tools menu entry carries it as its
// private data.
struct ControlPanel {
	explicit ControlPanel(Controller &control);
	~ControlPanel(); // the window is destroyed and what it drew with released
	ControlPanel(const ControlPanel &) = delete;
	ControlPanel &operator=(const ControlPanel &) = delete;

	Controller &controller;
	PanelState state;
	std::unique_ptr<PanelWindowSlot> window;
};

// The Tools menu callback, with a ControlPanel as its private data: opens the
// panel or brings it to the front.
void OpenControlPanel(void *control_panel);

// The behaviour bound to the panel's window, or null while there is no window
// (never opened, or destroyed by the host's exit).
Panel *ShownPanel(ControlPanel &panel);

// After a command from outside the window (a hotkey, obs-websocket, OBS's own
// stream, the host stopping everything): a shown panel follows it.
void RefreshShownPanel(ControlPanel &panel);

// Destroys the panel window, if there is one.
void DestroyControlPanel(ControlPanel &panel);

} // namespace torvane
