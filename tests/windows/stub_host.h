#pragma once

// What the stub obs.dll and obs-frontend-api.dll recorded, for the harness.
// Only C types cross the DLL boundary: each binary has its own C++ runtime.
#include <obs-frontend-api.h>

#ifdef __cplusplus
extern "C" {
#endif

// stub obs.dll
__declspec(dllexport) void stub_obs_reset(void);
__declspec(dllexport) int stub_obs_log_count(void);
__declspec(dllexport) int stub_obs_log_level(int index);
__declspec(dllexport) const char *stub_obs_log_text(int index);
// The folder obs_module_get_config_path answers in; none (null) by default.
__declspec(dllexport) void stub_obs_set_config_dir(const char *dir);

// stub obs-frontend-api.dll
__declspec(dllexport) void stub_frontend_reset(void);
__declspec(dllexport) int stub_frontend_menu_count(void);
__declspec(dllexport) const char *stub_frontend_menu_text(int index);
__declspec(dllexport) obs_frontend_cb stub_frontend_menu_callback(int index);
__declspec(dllexport) void *stub_frontend_menu_data(int index);
__declspec(dllexport) int stub_frontend_event_callback_count(void);
__declspec(dllexport) void *stub_frontend_event_callback_data(int index);
// Raises a front-end event to every registered callback, as OBS does.
__declspec(dllexport) void stub_frontend_raise(enum obs_frontend_event event);

#ifdef __cplusplus
}
#endif
