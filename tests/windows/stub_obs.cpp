// Stands in for obs.dll with just what torvane.dll imports (cmake/windows/obs.def):
// memory, the configuration path, settings objects and arrays in one
// small JSON store, and outputs whose signals the tests raise. Everything else
// the module creates is a token that is never looked into.
#include <obs-module.h>

#include "stub_host.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// An object's members or an array's items (named ""), each kept as its JSON text.
struct obs_data {
	long refs = 1;
	bool array = false;
	std::vector<std::pair<std::string, std::string>> members;
	std::string json;
	std::deque<std::string> texts; // what obs_data_get_string handed out
};
struct obs_data_array : obs_data {};

namespace {

std::string config_dir;

std::string Quote(const std::string &text)
{
	std::string out = "\"";
	for (char c : text)
		out += c == '"' || c == '\\' ? std::string{'\\', c} : std::string(1, c);
	return out + '"';
}

// Reads what Quote writes into `text`, if given; false on anything else.
bool Unquote(const char *&p, std::string *text)
{
	if (*p++ != '"')
		return false;
	for (; *p && *p != '"'; p++)
		if (p += *p == '\\' && p[1]; text)
			*text += *p;
	return *p && *p++ == '"';
}

// Splits the compact object or array at `p` into `data`; false on anything else.
bool Parse(const char *&p, obs_data &data)
{
	if (*p != '{' && *p != '[')
		return false;
	data.array = *p == '[';
	for (const char close = *p++ == '{' ? '}' : ']'; *p != close;) {
		auto &[name, raw] = data.members.emplace_back();
		if ((data.members.size() > 1 && *p++ != ',') || (!data.array && (!Unquote(p, &name) || *p++ != ':')))
			return false;
		const char *start = p += strspn(p, " \n");
		obs_data inner;
		if (!(*p == '"'                ? Unquote(p, nullptr)
		      : *p == '{' || *p == '[' ? Parse(p, inner)
					       : (p += strspn(p, "-0123456789aeflrstu"), p != start)))
			return false;
		raw.assign(start, p);
	}
	return ++p, true;
}

obs_data *FromJson(const std::string &json, bool array)
{
	auto data = std::make_unique<obs_data_array>();
	const char *p = json.c_str();
	return Parse(p, *data) && !*p && data->array == array ? data.release() : nullptr;
}

// The member's JSON text, added empty (and left out of the JSON) when missing.
std::string &Member(obs_data_t *data, const char *name)
{
	for (auto &[member, raw] : data->members)
		if (member == name)
			return raw;
	return data->members.emplace_back(name, "").second;
}

} // namespace

void blog(int, const char *, ...) {}

ANSWER(void *, bmalloc(size_t size), malloc(size ? size : 1))
ANSWER(void, bfree(void *ptr), free(ptr))
ANSWER(void *, bmemdup(const void *ptr, size_t size), memcpy(bmalloc(size), ptr, size))
ANSWER(char *, obs_module_get_config_path(obs_module_t *, const char *file),
       config_dir.empty() ? nullptr : bstrdup((config_dir + "/" + file).c_str()))
// No data folder beside the DLL: the module shows its English texts.
ANSWER(lookup_t *, obs_module_load_locale(obs_module_t *, const char *, const char *), nullptr)
ANSWER(bool, text_lookup_getstr(lookup_t *, const char *, const char **), false)
ANSWER(void, text_lookup_destroy(lookup_t *), void())
ANSWER(obs_data_t *, obs_data_create(), new obs_data)
ANSWER(obs_data_array_t *, obs_data_array_create(), static_cast<obs_data_array_t *>(FromJson("[]", true)))
ANSWER(obs_data_t *, obs_data_create_from_json(const char *json), FromJson(json, false))
ANSWER(void, obs_data_release(obs_data_t *d), d && --d->refs == 0 ? delete d : void())
ANSWER(void, obs_data_array_release(obs_data_array_t *a), obs_data_release(a))
ANSWER(void, obs_data_set_int(obs_data_t *d, const char *n, long long v), void(Member(d, n) = std::to_string(v)))
ANSWER(void, obs_data_set_bool(obs_data_t *d, const char *n, bool v), void(Member(d, n) = v ? "true" : "false"))
ANSWER(void, obs_data_set_string(obs_data_t *d, const char *n, const char *v), void(Member(d, n) = Quote(v ? v : "")))
ANSWER(void, obs_data_set_array(obs_data_t *d, const char *n, obs_data_array_t *a),
       void(Member(d, n) = obs_data_get_json(a)))
ANSWER(long long, obs_data_get_int(obs_data_t *d, const char *n), atoll(Member(d, n).c_str()))
ANSWER(bool, obs_data_get_bool(obs_data_t *d, const char *n), Member(d, n) == "true")
ANSWER(obs_data_array_t *, obs_data_get_array(obs_data_t *d, const char *n),
       static_cast<obs_data_array_t *>(FromJson(Member(d, n), true)))
ANSWER(void, obs_data_set_obj(obs_data_t *d, const char *n, obs_data_t *o), void(Member(d, n) = obs_data_get_json(o)))
ANSWER(obs_data_t *, obs_data_get_obj(obs_data_t *d, const char *n), FromJson(Member(d, n), false))
ANSWER(bool, obs_data_has_user_value(obs_data_t *d, const char *n), Member(d, n).size() > 0)
ANSWER(size_t, obs_data_array_count(obs_data_array_t *a), a->members.size())
ANSWER(obs_data_t *, obs_data_array_item(obs_data_array_t *a, size_t i), FromJson(a->members.at(i).second, false))
ANSWER(size_t, obs_data_array_push_back(obs_data_array_t *a, obs_data_t *item),
       a->members.emplace_back("", obs_data_get_json(item)), a->members.size() - 1)

const char *obs_data_get_string(obs_data_t *data, const char *name)
{
	const char *p = Member(data, name).c_str();
	std::string &text = data->texts.emplace_back();
	return Unquote(p, &text) ? text.c_str() : "";
}

const char *obs_data_get_json(obs_data_t *data)
{
	data->json = data->array ? "[" : "{";
	for (const auto &[name, raw] : data->members)
		if (!raw.empty())
			data->json += (data->json.size() > 1 ? "," : "") + (data->array ? "" : Quote(name) + ":") + raw;
	return (data->json += data->array ? ']' : '}').c_str();
}

// --- Outputs and their signals; encoders and services are tokens ---------------

// An output is its own signal handler.
struct signal_handler {
	std::vector<std::tuple<std::string, signal_callback_t, void *>> slots;
	bool active = false;
};
struct obs_output : signal_handler {};

namespace {

std::vector<std::unique_ptr<obs_output>> outputs; // kept until the next reset
char token;

void Raise(obs_output_t *output, const char *signal, long long code)
{
	calldata_t data = {reinterpret_cast<uint8_t *>(&code), sizeof(code), 0, true};
	output->active = strcmp(signal, "stop") != 0;
	for (const auto &[name, callback, param] : std::vector(output->slots))
		if (name == signal)
			callback(param, &data);
}

} // namespace

#define TOKEN(type, call) ANSWER(type *, call, reinterpret_cast<type *>(&token))
TOKEN(video_t, obs_get_video(void))
TOKEN(audio_t, obs_get_audio(void))
TOKEN(obs_encoder_t, obs_video_encoder_create(const char *, const char *, obs_data_t *, obs_data_t *))
TOKEN(obs_encoder_t, obs_audio_encoder_create(const char *, const char *, obs_data_t *, size_t, obs_data_t *))
TOKEN(obs_service_t, obs_service_create(const char *, const char *, obs_data_t *, obs_data_t *))
ANSWER(obs_data_t *, obs_encoder_get_settings(const obs_encoder_t *), obs_data_create())
// No stream of OBS's own: nothing for a destination to share.
ANSWER(obs_encoder_t *, obs_encoder_get_ref(obs_encoder_t *), nullptr)
ANSWER(bool, obs_encoder_active(const obs_encoder_t *), false)
ANSWER(uint32_t, obs_encoder_get_width(const obs_encoder_t *), 0)
ANSWER(uint32_t, obs_encoder_get_height(const obs_encoder_t *), 0)
ANSWER(uint32_t, obs_encoder_get_frame_rate_divisor(const obs_encoder_t *), 1)
ANSWER(obs_encoder_t *, obs_output_get_video_encoder(const obs_output_t *), nullptr)
ANSWER(obs_encoder_t *, obs_output_get_video_encoder2(const obs_output_t *, size_t), nullptr)
ANSWER(obs_encoder_t *, obs_output_get_audio_encoder(const obs_output_t *, size_t), nullptr)
ANSWER(bool, obs_initialized(void), true)
ANSWER(bool, obs_get_video_info(struct obs_video_info *ovi), *ovi = {}, ovi->fps_num = 60, ovi->fps_den = 1,
       ovi->base_width = ovi->output_width = 1920, ovi->base_height = ovi->output_height = 1080, true)
ANSWER(bool, obs_get_audio_info(struct obs_audio_info *oai), *oai = {48000, SPEAKERS_STEREO}, true)
ANSWER(const char *, obs_encoder_get_display_name(const char *id), id)
// One video encoder, x264, beside AAC; the RTMP output sends what OBS's does.
ANSWER(bool, obs_enum_encoder_types(size_t i, const char **id), *id = i ? "ffmpeg_aac" : "obs_x264", i < 2)
ANSWER(enum obs_encoder_type, obs_get_encoder_type(const char *id),
       strcmp(id, "ffmpeg_aac") ? OBS_ENCODER_VIDEO : OBS_ENCODER_AUDIO)
ANSWER(uint32_t, obs_get_encoder_caps(const char *), 0)
ANSWER(const char *, obs_get_encoder_codec(const char *id), strcmp(id, "ffmpeg_aac") ? "h264" : "aac")
ANSWER(const char *, obs_get_output_supported_video_codecs(const char *), "h264;hevc;av1")
ANSWER(const char *, obs_service_get_display_name(const char *id), id)
ANSWER(const char *, obs_output_get_display_name(const char *id), id)
ANSWER(obs_output_t *, obs_output_create(const char *, const char *, obs_data_t *, obs_data_t *),
       outputs.emplace_back(std::make_unique<obs_output>()).get())
ANSWER(bool, obs_encoder_set_frame_rate_divisor(obs_encoder_t *, uint32_t), true)
ANSWER(bool, obs_output_start(obs_output_t *output), output->active = true)
ANSWER(bool, obs_output_active(const obs_output_t *output), output->active)
ANSWER(int, obs_output_get_frames_dropped(const obs_output_t *), 0)
ANSWER(uint64_t, obs_output_get_total_bytes(const obs_output_t *), 0)
ANSWER(const char *, obs_output_get_last_error(obs_output_t *), nullptr)
ANSWER(const char *, obs_service_get_connect_info(const obs_service_t *, uint32_t), nullptr)
ANSWER(signal_handler_t *, obs_output_get_signal_handler(const obs_output_t *output),
       const_cast<obs_output_t *>(output))
// OBS ends an output on the caller's thread and raises "stop" with code 0.
ANSWER(void, obs_output_force_stop(obs_output_t *output), Raise(output, "stop", OBS_OUTPUT_SUCCESS))
void obs_encoder_set_video(obs_encoder_t *, video_t *) {}
void obs_encoder_set_audio(obs_encoder_t *, audio_t *) {}
void obs_encoder_set_scaled_size(obs_encoder_t *, uint32_t, uint32_t) {}
void obs_encoder_set_gpu_scale_type(obs_encoder_t *, enum obs_scale_type) {}
void obs_encoder_set_preferred_video_format(obs_encoder_t *, enum video_format) {}
void obs_encoder_release(obs_encoder_t *) {}
// No scenes: a destination with a picture of its own is refused before any view is made.
ANSWER(obs_source_t *, obs_get_source_by_name(const char *), nullptr)
ANSWER(bool, obs_source_is_scene(const obs_source_t *), false)
ANSWER(obs_source_t *, obs_get_output_source(uint32_t), nullptr)
ANSWER(obs_source_t *, obs_source_get_ref(obs_source_t *), nullptr)
ANSWER(const char *, obs_source_get_name(const obs_source_t *), "")
ANSWER(obs_scene_t *, obs_scene_create_private(const char *), nullptr)
ANSWER(obs_source_t *, obs_scene_get_source(const obs_scene_t *), nullptr)
ANSWER(obs_sceneitem_t *, obs_scene_add(obs_scene_t *, obs_source_t *), nullptr)
ANSWER(obs_view_t *, obs_view_create(void), nullptr)
ANSWER(video_t *, obs_view_add2(obs_view_t *, struct obs_video_info *), nullptr)
void obs_enum_scenes(bool (*)(void *, obs_source_t *), void *) {}
void obs_source_release(obs_source_t *) {}
void obs_source_update(obs_source_t *, obs_data_t *) {}
void obs_scene_release(obs_scene_t *) {}
void obs_sceneitem_set_bounds_type(obs_sceneitem_t *, enum obs_bounds_type) {}
void obs_sceneitem_set_bounds_alignment(obs_sceneitem_t *, uint32_t) {}
void obs_sceneitem_set_bounds(obs_sceneitem_t *, const struct vec2 *) {}
void obs_view_set_source(obs_view_t *, uint32_t, obs_source_t *) {}
void obs_view_remove(obs_view_t *) {}
void obs_view_destroy(obs_view_t *) {}
void obs_service_release(obs_service_t *) {}
void obs_output_release(obs_output_t *) {}
void obs_output_set_service(obs_output_t *, obs_service_t *) {}
void obs_output_set_video_encoder(obs_output_t *, obs_encoder_t *) {}
void obs_output_set_audio_encoder(obs_output_t *, obs_encoder_t *, size_t) {}
void obs_output_set_reconnect_settings(obs_output_t *, int, int) {}
// The stand-in's handlers live as long as their outputs: holding a reference is connecting.
ANSWER(void, signal_handler_connect_ref(signal_handler_t *h, const char *signal, signal_callback_t cb, void *data),
       void(h->slots.emplace_back(signal, cb, data)))
// A null handler is a connection that was never made, or already undone.
ANSWER(void, signal_handler_disconnect(signal_handler_t *h, const char *signal, signal_callback_t cb, void *data),
       h ? void(h->slots.erase(std::remove(h->slots.begin(), h->slots.end(), std::tuple(signal, cb, data)),
			       h->slots.end()))
	 : void())
ANSWER(bool, calldata_get_data(const calldata_t *data, const char *name, void *out, size_t size),
       strcmp(name, "code") == 0 && size == sizeof(long long) && memcpy(out, data->stack, size))

// --- Hotkeys and UI tasks ---------------------------------------------------------

namespace {
std::vector<std::string> hotkeys; // by id; unregistered ones empty
} // namespace

ANSWER(obs_hotkey_id, obs_hotkey_register_frontend(const char *name, const char *, obs_hotkey_func, void *),
       hotkeys.emplace_back(name), hotkeys.size() - 1)
ANSWER(obs_data_array_t *, obs_hotkey_save(obs_hotkey_id), obs_data_array_create())
void obs_hotkey_load(obs_hotkey_id, obs_data_array_t *) {}
ANSWER(void, obs_hotkey_unregister(obs_hotkey_id id), hotkeys.at(id).clear())
ANSWER(void, obs_queue_task(enum obs_task_type, obs_task_t task, void *param, bool), task(param))
// Every caller runs on the one thread the tests drive, which stands for OBS's UI thread.
ANSWER(bool, obs_in_task_thread(enum obs_task_type type), type == OBS_TASK_UI)

// --- No obs-websocket: its vendor's requests are never answered here -------------

TOKEN(proc_handler_t, obs_get_proc_handler(void))
ANSWER(bool, proc_handler_call(proc_handler_t *, const char *, calldata_t *), false)
void calldata_set_data(calldata_t *, const char *, const void *, size_t) {}
void obs_data_set_double(obs_data_t *, const char *, double) {}
void obs_data_apply(obs_data_t *target, obs_data_t *source)
{
	for (const auto &[name, value] : source->members)
		Member(target, name.c_str()) = value;
}
ANSWER(obs_data_item_t *, obs_data_item_byname(obs_data_t *, const char *), nullptr)
ANSWER(enum obs_data_type, obs_data_item_gettype(obs_data_item_t *), OBS_DATA_NULL)
ANSWER(enum obs_data_number_type, obs_data_item_numtype(obs_data_item_t *), OBS_DATA_NUM_INVALID)
ANSWER(long long, obs_data_item_get_int(obs_data_item_t *), 0)
void obs_data_item_release(obs_data_item_t **) {}

// --- For the tests --------------------------------------------------------------

ANSWER(void, stub_obs_reset(const char *config), outputs.clear(), hotkeys.clear(),
       void(config_dir = config ? config : ""))
const char *stub_obs_registered(void)
{
	static std::string list;
	list.clear();
	for (const std::string &name : hotkeys)
		list += name.empty() ? "" : name + "\n";
	return list.c_str();
}
ANSWER(int, stub_obs_output_count(void), static_cast<int>(outputs.size()))
ANSWER(void, stub_obs_output_raise(int index, const char *signal, long long code),
       Raise(outputs.at(static_cast<size_t>(index)).get(), signal, code))
