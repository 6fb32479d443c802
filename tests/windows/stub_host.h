#pragma once

// What the stand-in obs.dll and obs-frontend-api.dll offer the tests beside
// the host's own functions. Only C types cross the DLL boundary.
#include <obs-frontend-api.h>

// A stand-in call whose whole answer is one expression.
#define ANSWER(result, call, ...)   \
	result call                 \
	{                           \
		return __VA_ARGS__; \
	}

extern "C" {
// obs.dll: forgets outputs and takes the configuration folder, if any.
__declspec(dllexport) void stub_obs_reset(const char *config_dir);
__declspec(dllexport) int stub_obs_output_count(void);
// Raises an output's signal ("start", "stop", ...) with a code.
__declspec(dllexport) void stub_obs_output_raise(int index, const char *signal, long long code);
// The hotkeys registered now, one a line.
__declspec(dllexport) const char *stub_obs_registered(void);

// obs-frontend-api.dll: forgets what was registered and takes the host's main
// window; picks the first Tools menu entry as the user does; raises an event.
__declspec(dllexport) void stub_frontend_reset(void *main_window);
__declspec(dllexport) void stub_frontend_pick(void);
__declspec(dllexport) int stub_frontend_event_callback_count(void);
__declspec(dllexport) void stub_frontend_raise(enum obs_frontend_event event);
}
