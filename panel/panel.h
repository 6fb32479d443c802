#pragma once

// What the module's entry points and host events need of the control panel.
namespace torvane {

// The Tools menu callback: opens the panel or brings it to the front.
void OpenControlPanel(void *private_data);

// After the host stopped every stream: when the panel exists, its status line
// tells the user why and its controls follow the now idle engine.
void ShowStreamsStoppedByHost();

// Destroys the panel window, if there is one.
void DestroyControlPanel();

// Releases what the panel's first opening created for the window (fonts,
// brushes, window class); called once at unload after DestroyControlPanel.
void ReleasePanelResources();

} // namespace torvane
