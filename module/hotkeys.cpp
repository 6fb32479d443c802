// The hotkeys "Torvane: Start all" and "Torvane: Stop all".
#include "module/automation.h"
#include "module/toolkit.h"

#include "panel/remote.h"
#include "settings/texts.h"

#include <obs-frontend-api.h>
#include <obs.hpp>

namespace torvane {

namespace {

struct Hotkey {
	const char *name; // also the key of its bindings in the scene collection
	Txt description;
	bool start;
	obs_hotkey_id id;
};

Hotkey hotkeys[] = {{"torvane.start_all", Txt::HotkeyStartAll, true, OBS_INVALID_HOTKEY_ID},
		    {"torvane.stop_all", Txt::HotkeyStopAll, false, OBS_INVALID_HOTKEY_ID}};
ControlPanel *hotkey_panel = nullptr;

void RunOnUiThread(void *data)
{
	const Hotkey &hotkey = *static_cast<Hotkey *>(data);
	if (!hotkey_panel)
		return;
	std::string error;
	if (hotkey.start)
		RemoteStartAll(*hotkey_panel, ShownPanel(*hotkey_panel), error);
	else
		RemoteStopAll(*hotkey_panel, ShownPanel(*hotkey_panel));
}

// A hotkey fires holding libobs's hotkey lock: on the UI thread for a key
// press OBS routes there, on another thread for obs-websocket's
// TriggerHotkeyByName. The command runs on a later turn of the UI loop, once
// the lock is released; releasing the key does nothing.
void OnHotkey(void *data, obs_hotkey_id, obs_hotkey_t *, bool pressed)
{
	if (pressed)
		RunLater(RunOnUiThread, data);
}

void OnSave(obs_data_t *save_data, bool saving, void *)
{
	for (Hotkey &hotkey : hotkeys) {
		if (saving) {
			OBSDataArrayAutoRelease bindings = obs_hotkey_save(hotkey.id);
			obs_data_set_array(save_data, hotkey.name, bindings);
		} else {
			OBSDataArrayAutoRelease bindings = obs_data_get_array(save_data, hotkey.name);
			obs_hotkey_load(hotkey.id, bindings);
		}
	}
}

} // namespace

void RegisterHotkeys(ControlPanel &panel)
{
	hotkey_panel = &panel;
	for (Hotkey &hotkey : hotkeys)
		hotkey.id = obs_hotkey_register_frontend(hotkey.name, Tr(hotkey.description), OnHotkey, &hotkey);
	obs_frontend_add_save_callback(OnSave, nullptr);
}

void UnregisterHotkeys()
{
	obs_frontend_remove_save_callback(OnSave, nullptr);
	for (Hotkey &hotkey : hotkeys) {
		obs_hotkey_unregister(hotkey.id);
		hotkey.id = OBS_INVALID_HOTKEY_ID;
	}
	hotkey_panel = nullptr;
}

} // namespace torvane
