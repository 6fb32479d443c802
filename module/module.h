#pragma once

#include "control/controller.h"
#include "engine/engine.h"
#include "module/automation.h"
#include "module/toolkit.h"
#include "panel/panel.h"
#include "settings/store.h"

// The module's one long-lived object: made in obs_module_load, once the text
// table exists, and destroyed in obs_module_unload.
namespace torvane {

struct Module {
	Module();
	Module(const Module &) = delete;
	Module &operator=(const Module &) = delete;

	ToolkitHandle toolkit; // first made, last stopped: null when it could not start
	SettingsStore store;
	MultistreamEngine engine; // its destructor stops and releases whatever still runs
	Controller controller;
	ControlPanel panel;
	Hotkeys hotkeys;
	Vendor vendor;
	// OBS raises STREAMING_STOPPING only when someone stops its stream (its
	// output's "stopping" signal, from obs_output_stop or obs_output_force_stop);
	// a STREAMING_STOPPED without it is a stream that failed to connect or gave
	// up reconnecting.
	bool obs_stop_asked = false;
};

// The loaded module, or null outside load and unload: for the callbacks that
// libobs and the toolkit call back later on the UI thread.
Module *LoadedModule();

// After a command from outside the panel: a shown panel follows it.
void AfterRemoteCommand(Module &module);

} // namespace torvane
