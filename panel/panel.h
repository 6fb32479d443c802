#pragma once

#include "engine/engine.h"
#include "panel/commands.h"
#include "settings/store.h"

// What the module's entry points and host events need of the control panel.
namespace torvane {

// The toolkit's window and its drawing resources, between openings.
struct PanelWindowSlot;

// The objects the control panel works on. The module owns each of them, with
// static storage, and hands them over here; the Tools menu entry carries this
// as its private data.
struct ControlPanel {
	SettingsStore &store;
	MultistreamEngine &engine;
	SettingsPathSource settings_path;
	PanelState &state;
	PanelWindowSlot &window;
};

// The Tools menu callback, with a ControlPanel as its private data: opens the
// panel or brings it to the front.
void OpenControlPanel(void *control_panel);

// After the host stopped every stream: when the panel exists, its status line
// tells the user why and its controls follow the now idle engine.
void ShowStreamsStoppedByHost(ControlPanel &panel);

// The behaviour bound to the panel's window, or null while there is no window
// (never opened, or destroyed by the host's exit).
Panel *ShownPanel(ControlPanel &panel);

// Destroys the panel window, if there is one.
void DestroyControlPanel(ControlPanel &panel);

// Releases what the panel's first opening created for the window (fonts,
// brushes, window class); called once at unload after DestroyControlPanel.
void ReleasePanelResources(ControlPanel &panel);

} // namespace torvane
