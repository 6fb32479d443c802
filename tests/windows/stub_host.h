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
// Outputs, services and encoders: stub_obs_reset forgets them all and gives the
// host its 1920 x 1080, 60 fps mix again; a frame rate of 0 / 0 means no video.
__declspec(dllexport) void stub_obs_set_video(unsigned width, unsigned height, unsigned fps_num, unsigned fps_den);
// Makes one of the stock types (obs_x264, ffmpeg_aac, rtmp_custom, rtmp_output)
// unregistered, as when its module is missing; null registers all again.
__declspec(dllexport) void stub_obs_set_missing_type(const char *id);
__declspec(dllexport) int stub_obs_encoder_count(void);
// Fields: id, name, settings (JSON), mix, size, divisor, released.
__declspec(dllexport) const char *stub_obs_encoder_field(int index, const char *field);
__declspec(dllexport) int stub_obs_output_count(void);
// Fields: id, name, settings, service_id, service_name, service_settings,
// encoders, reconnect, started, active, force_stops, released, handlers.
__declspec(dllexport) const char *stub_obs_output_field(int index, const char *field);
// Raises an output signal with a stop code on a new thread and waits for it.
__declspec(dllexport) void stub_obs_output_raise(int index, const char *signal, long long code);

// stub obs-frontend-api.dll
__declspec(dllexport) void stub_frontend_reset(void);
// What obs_frontend_get_main_window_handle answers; null by default.
__declspec(dllexport) void stub_frontend_set_main_window(void *window);
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
