// The hotkeys "Torvane: Start all" and "Torvane: Stop all".
#include "module/automation.h"
#include "module/module.h"
#include "module/toolkit.h"

#include "settings/texts.h"

#include <obs-frontend-api.h>
#include <obs.hpp>

namespace torvane {

namespace {

struct HotkeySpec {
	const char *name; // also the key of its bindings in the scene collection
	Txt description;
	obs_hotkey_id Hotkeys::*id;
	Outcome (*command)(Controller &controller);
};

const HotkeySpec hotkey_specs[] = {{"torvane.start_all", Txt::HotkeyStartAll, &Hotkeys::start_all, StartAll},
				   {"torvane.stop_all", Txt::HotkeyStopAll, &Hotkeys::stop_all, StopAll}};

// On the UI thread; the module may have been unloaded since the key was pressed.
void RunOnUiThread(void *data)
{
	const HotkeySpec &spec = *static_cast<const HotkeySpec *>(data);
	if (Module *module = LoadedModule()) {
		spec.command(module->controller);
		AfterRemoteCommand(*module);
	}
}

// A hotkey fires holding libobs's hotkey lock: on the UI thread for a key
// press OBS routes there, on another thread for obs-websocket's
// TriggerHotkeyByName. The command runs on a later turn of the UI loop, once
// the lock is released; releasing the key does nothing.
void OnHotkey(void *data, obs_hotkey_id, obs_hotkey_t *, bool pressed)
{
	// The hotkey lock also keeps the module from unloading meanwhile.
	if (Module *module = LoadedModule(); module && pressed)
		RunLater(*module->toolkit, RunOnUiThread, data);
}

void OnSave(obs_data_t *save_data, bool saving, void *data)
{
	const Hotkeys &hotkeys = static_cast<Module *>(data)->hotkeys;
	for (const HotkeySpec &spec : hotkey_specs) {
		if (saving) {
			OBSDataArrayAutoRelease bindings = obs_hotkey_save(hotkeys.*spec.id);
			obs_data_set_array(save_data, spec.name, bindings);
		} else {
			OBSDataArrayAutoRelease bindings = obs_data_get_array(save_data, spec.name);
			obs_hotkey_load(hotkeys.*spec.id, bindings);
		}
	}
}

} // namespace

void RegisterHotkeys(Module &module)
{
	for (const HotkeySpec &spec : hotkey_specs)
		module.hotkeys.*spec.id = obs_hotkey_register_frontend(spec.name, Tr(spec.description), OnHotkey,
								       const_cast<HotkeySpec *>(&spec));
	obs_frontend_add_save_callback(OnSave, &module);
}

void UnregisterHotkeys(Module &module)
{
	obs_frontend_remove_save_callback(OnSave, &module);
	for (const HotkeySpec &spec : hotkey_specs) {
		obs_hotkey_unregister(module.hotkeys.*spec.id);
		module.hotkeys.*spec.id = OBS_INVALID_HOTKEY_ID;
	}
}

} // namespace torvane
