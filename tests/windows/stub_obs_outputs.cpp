// Stands in for obs.dll's outputs, services, encoders and signal handlers as far
// as the module's stop and release path uses them. Nothing in this lane creates
// an output yet, so these answer as OBS does for an idle host.
#include <obs.h>

#include "stub_host.h"

void obs_encoder_release(obs_encoder_t *) {}

void obs_service_release(obs_service_t *) {}

void obs_output_release(obs_output_t *) {}

void obs_output_force_stop(obs_output_t *) {}

bool obs_output_active(const obs_output_t *)
{
	return false;
}

int obs_output_get_frames_dropped(const obs_output_t *)
{
	return 0;
}

signal_handler_t *obs_output_get_signal_handler(const obs_output_t *)
{
	return nullptr;
}

void signal_handler_connect(signal_handler_t *, const char *, signal_callback_t, void *) {}

void signal_handler_disconnect(signal_handler_t *, const char *, signal_callback_t, void *) {}

bool calldata_get_data(const calldata_t *, const char *, void *, size_t)
{
	return false;
}
