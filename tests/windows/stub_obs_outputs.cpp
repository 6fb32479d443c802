// Stands in for obs.dll's video and audio mix, encoders, services, outputs and
// signal handlers. It records what the module creates and sets, answers as an
// OBS with a 1920 x 1080, 60 fps stereo mix would, and raises output signals on
// a thread of its own like OBS's output threads.
#include <windows.h>

#include <obs.h>

#include "stub_host.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

struct signal_handler {
	struct Connection {
		std::string signal;
		signal_callback_t callback;
		void *data;
	};
	SRWLOCK lock = SRWLOCK_INIT;
	std::vector<Connection> connections;
};

struct obs_encoder {
	std::string id, name, settings;
	bool video = false, has_mix = false, released = false;
	uint32_t width = 0, height = 0, divisor = 0;
};

struct obs_service {
	std::string id, name, settings;
	bool released = false;
};

struct obs_output {
	std::string id, name, settings;
	obs_service_t *service = nullptr;
	obs_encoder_t *video_encoder = nullptr, *audio_encoder = nullptr;
	int retries = -1, retry_delay = -1;
	bool started = false, active = false, released = false;
	int force_stops = 0;
	signal_handler signals;
};

namespace {

// What the stub's calldata carries: only the stop code is ever asked for.
struct SignalParams {
	long long code;
};

obs_video_info DefaultVideo()
{
	obs_video_info video = {};
	video.fps_num = 60;
	video.fps_den = 1;
	video.base_width = video.output_width = 1920;
	video.base_height = video.output_height = 1080;
	video.colorspace = VIDEO_CS_709;
	return video;
}

struct Host {
	bool initialized = true;
	std::string missing_type; // a type no loaded module registered
	obs_video_info video = DefaultVideo();
	std::vector<std::unique_ptr<obs_encoder>> encoders;
	std::vector<std::unique_ptr<obs_service>> services;
	std::vector<std::unique_ptr<obs_output>> outputs;
};

Host host;
int mix_token;

std::string Json(obs_data_t *settings)
{
	const char *json = settings ? obs_data_get_json(settings) : nullptr;
	return json ? json : "";
}

void Raise(obs_output_t *output, const char *signal, long long code)
{
	SignalParams params = {code};
	calldata_t data = {};
	data.stack = reinterpret_cast<uint8_t *>(&params);
	AcquireSRWLockShared(&output->signals.lock);
	const auto connections = output->signals.connections;
	for (const auto &c : connections)
		if (c.signal == signal)
			c.callback(c.data, &data);
	ReleaseSRWLockShared(&output->signals.lock);
}

obs_output_t *OutputAt(int index)
{
	return host.outputs.at(static_cast<size_t>(index)).get();
}

} // namespace

// --- The host's mix -------------------------------------------------------------

bool obs_initialized(void)
{
	return host.initialized;
}

video_t *obs_get_video(void)
{
	return host.video.fps_den ? reinterpret_cast<video_t *>(&mix_token) : nullptr;
}

audio_t *obs_get_audio(void)
{
	return reinterpret_cast<audio_t *>(&mix_token);
}

bool obs_get_video_info(obs_video_info *info)
{
	if (!host.video.fps_den)
		return false;
	*info = host.video;
	return true;
}

bool obs_get_audio_info(obs_audio_info *info)
{
	info->samples_per_sec = 48000;
	info->speakers = SPEAKERS_STEREO;
	return true;
}

// The types the stock modules register, by their display names.
static const char *DisplayName(const char *id)
{
	static const std::pair<const char *, const char *> types[] = {{"obs_x264", "x264"},
								      {"ffmpeg_aac", "FFmpeg AAC"},
								      {"rtmp_custom", "Custom"},
								      {"rtmp_output", "RTMP Output"}};
	if (!id || host.missing_type == id)
		return nullptr;
	for (const auto &type : types)
		if (strcmp(type.first, id) == 0)
			return type.second;
	return nullptr;
}

const char *obs_encoder_get_display_name(const char *id)
{
	return DisplayName(id);
}

const char *obs_service_get_display_name(const char *id)
{
	return DisplayName(id);
}

const char *obs_output_get_display_name(const char *id)
{
	return DisplayName(id);
}

// --- Encoders -------------------------------------------------------------------

static obs_encoder_t *MakeEncoder(const char *id, const char *name, obs_data_t *settings, bool video)
{
	host.encoders.push_back(std::make_unique<obs_encoder>());
	obs_encoder_t *encoder = host.encoders.back().get();
	encoder->id = id;
	encoder->name = name;
	encoder->settings = Json(settings);
	encoder->video = video;
	return encoder;
}

obs_encoder_t *obs_video_encoder_create(const char *id, const char *name, obs_data_t *settings, obs_data_t *)
{
	return MakeEncoder(id, name, settings, true);
}

obs_encoder_t *obs_audio_encoder_create(const char *id, const char *name, obs_data_t *settings, size_t, obs_data_t *)
{
	return MakeEncoder(id, name, settings, false);
}

void obs_encoder_set_video(obs_encoder_t *encoder, video_t *video)
{
	encoder->has_mix = video != nullptr;
}

void obs_encoder_set_audio(obs_encoder_t *encoder, audio_t *audio)
{
	encoder->has_mix = audio != nullptr;
}

void obs_encoder_set_preferred_video_format(obs_encoder_t *, enum video_format) {}

void obs_encoder_set_scaled_size(obs_encoder_t *encoder, uint32_t width, uint32_t height)
{
	encoder->width = width;
	encoder->height = height;
}

bool obs_encoder_set_frame_rate_divisor(obs_encoder_t *encoder, uint32_t divisor)
{
	encoder->divisor = divisor;
	return true;
}

void obs_encoder_release(obs_encoder_t *encoder)
{
	if (encoder)
		encoder->released = true;
}

// --- Services and outputs ---------------------------------------------------------

obs_service_t *obs_service_create(const char *id, const char *name, obs_data_t *settings, obs_data_t *)
{
	host.services.push_back(std::make_unique<obs_service>());
	obs_service_t *service = host.services.back().get();
	service->id = id;
	service->name = name;
	service->settings = Json(settings);
	return service;
}

void obs_service_release(obs_service_t *service)
{
	if (service)
		service->released = true;
}

obs_output_t *obs_output_create(const char *id, const char *name, obs_data_t *settings, obs_data_t *)
{
	host.outputs.push_back(std::make_unique<obs_output>());
	obs_output_t *output = host.outputs.back().get();
	output->id = id;
	output->name = name;
	output->settings = Json(settings);
	return output;
}

void obs_output_set_service(obs_output_t *output, obs_service_t *service)
{
	output->service = service;
}

void obs_output_set_video_encoder(obs_output_t *output, obs_encoder_t *encoder)
{
	output->video_encoder = encoder;
}

void obs_output_set_audio_encoder(obs_output_t *output, obs_encoder_t *encoder, size_t)
{
	output->audio_encoder = encoder;
}

void obs_output_set_reconnect_settings(obs_output_t *output, int retry_count, int retry_sec)
{
	output->retries = retry_count;
	output->retry_delay = retry_sec;
}

bool obs_output_start(obs_output_t *output)
{
	output->started = true;
	output->active = true;
	return true;
}

// OBS ends an output on the caller's thread and raises "stop" with code 0.
void obs_output_force_stop(obs_output_t *output)
{
	if (!output)
		return;
	output->force_stops++;
	output->active = false;
	Raise(output, "stop", OBS_OUTPUT_SUCCESS);
}

void obs_output_release(obs_output_t *output)
{
	if (output)
		output->released = true;
}

bool obs_output_active(const obs_output_t *output)
{
	return output && output->active;
}

int obs_output_get_frames_dropped(const obs_output_t *)
{
	return 0;
}

signal_handler_t *obs_output_get_signal_handler(const obs_output_t *output)
{
	return output ? const_cast<signal_handler_t *>(&output->signals) : nullptr;
}

void signal_handler_connect(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	if (!handler)
		return;
	AcquireSRWLockExclusive(&handler->lock);
	handler->connections.push_back({signal, callback, data});
	ReleaseSRWLockExclusive(&handler->lock);
}

// The stub's handlers live as long as their outputs, which are never freed.
void signal_handler_connect_ref(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	signal_handler_connect(handler, signal, callback, data);
}

void signal_handler_disconnect(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	if (!handler)
		return;
	AcquireSRWLockExclusive(&handler->lock);
	auto &list = handler->connections;
	for (auto it = list.begin(); it != list.end(); ++it) {
		if (it->signal == signal && it->callback == callback && it->data == data) {
			list.erase(it);
			break;
		}
	}
	ReleaseSRWLockExclusive(&handler->lock);
}

bool calldata_get_data(const calldata_t *data, const char *name, void *out, size_t size)
{
	if (!data || !data->stack || strcmp(name, "code") != 0 || size != sizeof(long long))
		return false;
	memcpy(out, &reinterpret_cast<const SignalParams *>(data->stack)->code, size);
	return true;
}

// --- For the harness --------------------------------------------------------------

void stub_obs_reset_outputs(void)
{
	host = Host();
}

void stub_obs_set_missing_type(const char *id)
{
	host.missing_type = id ? id : "";
}

void stub_obs_set_video(unsigned width, unsigned height, unsigned fps_num, unsigned fps_den)
{
	host.video = DefaultVideo();
	host.video.base_width = host.video.output_width = width;
	host.video.base_height = host.video.output_height = height;
	host.video.fps_num = fps_num;
	host.video.fps_den = fps_den;
}

int stub_obs_encoder_count(void)
{
	return static_cast<int>(host.encoders.size());
}

const char *stub_obs_encoder_field(int index, const char *field)
{
	static std::string answer;
	const obs_encoder &e = *host.encoders.at(static_cast<size_t>(index));
	const std::string f = field;
	answer = f == "id"         ? e.id
		 : f == "name"     ? e.name
		 : f == "settings" ? e.settings
		 : f == "mix"      ? (e.has_mix ? "yes" : "no")
		 : f == "size"     ? std::to_string(e.width) + "x" + std::to_string(e.height)
		 : f == "divisor"  ? std::to_string(e.divisor)
		 : f == "released" ? (e.released ? "yes" : "no")
				   : "?";
	return answer.c_str();
}

int stub_obs_output_count(void)
{
	return static_cast<int>(host.outputs.size());
}

const char *stub_obs_output_field(int index, const char *field)
{
	static std::string answer;
	const obs_output &o = *OutputAt(index);
	const std::string f = field;
	answer = f == "id"                 ? o.id
		 : f == "name"             ? o.name
		 : f == "settings"         ? o.settings
		 : f == "service_id"       ? (o.service ? o.service->id : "")
		 : f == "service_name"     ? (o.service ? o.service->name : "")
		 : f == "service_settings" ? (o.service ? o.service->settings : "")
		 : f == "encoders"         ? (o.video_encoder ? o.video_encoder->name : "") + std::string(" + ") +
					     (o.audio_encoder ? o.audio_encoder->name : "")
		 : f == "reconnect"   ? std::to_string(o.retries) + " retries, " + std::to_string(o.retry_delay) + " s"
		 : f == "started"     ? (o.started ? "yes" : "no")
		 : f == "active"      ? (o.active ? "yes" : "no")
		 : f == "force_stops" ? std::to_string(o.force_stops)
		 : f == "released"    ? (o.released ? "yes" : "no")
		 : f == "handlers"    ? std::to_string(o.signals.connections.size())
				      : "?";
	return answer.c_str();
}

static DWORD WINAPI RaiseOnOutputThread(void *parameter)
{
	auto *call = static_cast<std::pair<obs_output_t *, std::pair<std::string, long long>> *>(parameter);
	if (call->second.first == "stop")
		call->first->active = false;
	Raise(call->first, call->second.first.c_str(), call->second.second);
	return 0;
}

void stub_obs_output_raise(int index, const char *signal, long long code)
{
	std::pair<obs_output_t *, std::pair<std::string, long long>> call = {OutputAt(index), {signal, code}};
	HANDLE thread = CreateThread(nullptr, 0, RaiseOnOutputThread, &call, 0, nullptr);
	WaitForSingleObject(thread, INFINITE);
	CloseHandle(thread);
}
