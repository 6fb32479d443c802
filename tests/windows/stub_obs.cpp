// Stands in for obs.dll with just what torvane.dll imports (cmake/windows/obs.def):
// log lines, memory, the configuration path, settings objects kept as JSON
// values, and outputs whose signals the tests raise. Everything else the
// module creates is a token that is never looked into.
#include <obs-module.h>

#include "stub_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

// One JSON value; an object's members are its items, each with its name.
struct Json {
	enum Kind { Int, Bool, Text, Object, Array } kind;
	long long number;
	std::string text, name;
	std::vector<Json> items;
	Json(Kind k = Object, long long n = 0, std::string t = "") : kind(k), number(n), text(std::move(t)) {}
};

std::vector<std::string> log_lines;
std::string config_dir;

} // namespace

// Settings objects copy members in and out: the module never changes an object
// after handing it over, so libobs's sharing makes no difference to it.
struct obs_data {
	long refs = 1;
	Json value;
	std::string json;
	obs_data(Json v = {}) : value(std::move(v)) {}
};
struct obs_data_array : obs_data {
	using obs_data::obs_data;
};

namespace {

// The member `name` of the kind asked for, else an empty value of that kind.
const Json &Member(obs_data_t *data, const char *name, Json::Kind kind)
{
	static const Json empty[] = {Json::Int, Json::Bool, Json::Text, Json::Object, Json::Array};
	for (const Json &member : data->value.items)
		if (member.name == name)
			return member.kind == kind ? member : empty[kind];
	return empty[kind];
}

void Set(obs_data_t *data, const char *name, Json value)
{
	value.name = name;
	for (Json &member : data->value.items)
		if (member.name == name)
			return void(member = value);
	data->value.items.push_back(value);
}

void WriteText(std::string &out, const std::string &text)
{
	out += '"';
	for (unsigned char c : text) {
		char escaped[8] = {'\\', char(c)};
		if (c < 0x20)
			snprintf(escaped, sizeof(escaped), "\\u%04x", c);
		out += c == '"' || c == '\\' || c < 0x20 ? escaped : std::string(1, char(c));
	}
	out += '"';
}

// Compact, members in order, as libobs writes.
void Write(std::string &out, const Json &value)
{
	if (value.kind == Json::Text)
		return WriteText(out, value.text);
	if (value.kind != Json::Object && value.kind != Json::Array)
		return void(out += value.kind == Json::Int ? std::to_string(value.number)
				   : value.number          ? "true"
							   : "false");
	out += value.kind == Json::Object ? '{' : '[';
	for (const Json &item : value.items) {
		out += &item == value.items.data() ? "" : ",";
		if (value.kind == Json::Object)
			WriteText(out, item.name), out += ':';
		Write(out, item);
	}
	out += value.kind == Json::Object ? '}' : ']';
}

// Reads what Write writes; false on anything else.
bool ReadText(const char *&p, std::string &text)
{
	if (*p++ != '"')
		return false;
	for (; *p != '"'; p++) {
		unsigned c = static_cast<unsigned char>(*p);
		int length = 0;
		if (c == '\\' && *++p == 'u' && sscanf(p, "u%4x%n", &c, &length) == 1 && length == 5)
			p += 4;
		else if (c == '\\')
			c = static_cast<unsigned char>(*p);
		if (!*p)
			return false;
		text += static_cast<char>(c);
	}
	return ++p, true;
}

bool Read(const char *&p, Json &value)
{
	if (*p == '"')
		return value.kind = Json::Text, ReadText(p, value.text);
	if (!strncmp(p, "true", 4) || !strncmp(p, "false", 5))
		return value.kind = Json::Bool, value.number = *p == 't', p += value.number ? 4 : 5, true;
	if (*p != '{' && *p != '[') {
		char *end = nullptr;
		value.kind = Json::Int;
		value.number = strtoll(p, &end, 10);
		return end != p && (p = end, true);
	}
	value.kind = *p == '{' ? Json::Object : Json::Array;
	for (const char close = *p++ == '{' ? '}' : ']'; *p != close;) {
		Json item;
		if ((!value.items.empty() && *p++ != ',') ||
		    (value.kind == Json::Object && (!ReadText(p, item.name) || *p++ != ':')) || !Read(p, item))
			return false;
		value.items.push_back(item);
	}
	return ++p, true;
}

} // namespace

void blog(int, const char *format, ...)
{
	char line[4096];
	va_list args;
	va_start(args, format);
	vsnprintf(line, sizeof(line), format, args);
	va_end(args);
	log_lines.push_back(line);
}

ANSWER(void *, bmalloc(size_t size), malloc(size ? size : 1))
ANSWER(void, bfree(void *ptr), free(ptr))
ANSWER(void *, bmemdup(const void *ptr, size_t size), memcpy(bmalloc(size), ptr, size))
ANSWER(obs_data_t *, obs_data_create(), new obs_data)
ANSWER(obs_data_array_t *, obs_data_array_create(), new obs_data_array(Json::Array))
ANSWER(void, obs_data_set_int(obs_data_t *data, const char *name, long long val), Set(data, name, {Json::Int, val}))
ANSWER(void, obs_data_set_bool(obs_data_t *data, const char *name, bool val), Set(data, name, {Json::Bool, val}))
ANSWER(void, obs_data_set_string(obs_data_t *data, const char *name, const char *val),
       Set(data, name, {Json::Text, 0, val ? val : ""}))
ANSWER(void, obs_data_set_array(obs_data_t *data, const char *name, obs_data_array_t *array),
       Set(data, name, array->value))
ANSWER(long long, obs_data_get_int(obs_data_t *data, const char *name), Member(data, name, Json::Int).number)
ANSWER(bool, obs_data_get_bool(obs_data_t *data, const char *name), Member(data, name, Json::Bool).number)
ANSWER(const char *, obs_data_get_string(obs_data_t *data, const char *name),
       Member(data, name, Json::Text).text.c_str())
ANSWER(obs_data_array_t *, obs_data_get_array(obs_data_t *data, const char *name),
       Member(data, name, Json::Array).name.empty() ? nullptr : new obs_data_array(Member(data, name, Json::Array)))
ANSWER(size_t, obs_data_array_count(obs_data_array_t *array), array->value.items.size())
ANSWER(obs_data_t *, obs_data_array_item(obs_data_array_t *array, size_t idx), new obs_data(array->value.items.at(idx)))
ANSWER(void, obs_data_array_release(obs_data_array_t *array), obs_data_release(array))

char *obs_module_get_config_path(obs_module_t *, const char *file)
{
	const std::string path = config_dir + "/" + file;
	return config_dir.empty() ? nullptr : static_cast<char *>(bmemdup(path.c_str(), path.size() + 1));
}

obs_data_t *obs_data_create_from_json(const char *json)
{
	auto data = std::make_unique<obs_data>();
	return Read(json, data->value) && !*json && data->value.kind == Json::Object ? data.release() : nullptr;
}

void obs_data_release(obs_data_t *data)
{
	if (data && --data->refs == 0)
		delete data;
}

const char *obs_data_get_json(obs_data_t *data)
{
	data->json.clear();
	Write(data->json, data->value);
	return data->json.c_str();
}

bool obs_data_has_user_value(obs_data_t *data, const char *name)
{
	const auto &items = data->value.items;
	return std::any_of(items.begin(), items.end(), [name](const Json &member) { return member.name == name; });
}

size_t obs_data_array_push_back(obs_data_array_t *array, obs_data_t *obj)
{
	array->value.items.push_back(obj->value);
	return array->value.items.size() - 1;
}

// --- The mix, encoders, services and outputs ---------------------------------

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

ANSWER(bool, obs_initialized(void), true)
ANSWER(video_t *, obs_get_video(void), reinterpret_cast<video_t *>(&token))
ANSWER(audio_t *, obs_get_audio(void), reinterpret_cast<audio_t *>(&token))
ANSWER(bool, obs_get_video_info(struct obs_video_info *ovi), *ovi = {}, ovi->fps_num = 60, ovi->fps_den = 1,
       ovi->base_width = ovi->output_width = 1920, ovi->base_height = ovi->output_height = 1080, true)
ANSWER(bool, obs_get_audio_info(struct obs_audio_info *oai), *oai = {48000, SPEAKERS_STEREO}, true)
ANSWER(const char *, obs_encoder_get_display_name(const char *id), id)
ANSWER(const char *, obs_service_get_display_name(const char *id), id)
ANSWER(const char *, obs_output_get_display_name(const char *id), id)
ANSWER(obs_encoder_t *, obs_video_encoder_create(const char *, const char *, obs_data_t *, obs_data_t *),
       reinterpret_cast<obs_encoder_t *>(&token))
ANSWER(obs_encoder_t *, obs_audio_encoder_create(const char *, const char *, obs_data_t *, size_t, obs_data_t *),
       reinterpret_cast<obs_encoder_t *>(&token))
ANSWER(obs_service_t *, obs_service_create(const char *, const char *, obs_data_t *, obs_data_t *),
       reinterpret_cast<obs_service_t *>(&token))
ANSWER(obs_output_t *, obs_output_create(const char *, const char *, obs_data_t *, obs_data_t *),
       outputs.emplace_back(std::make_unique<obs_output>()).get())
ANSWER(bool, obs_encoder_set_frame_rate_divisor(obs_encoder_t *, uint32_t), true)
ANSWER(bool, obs_output_start(obs_output_t *output), output->active = true)
ANSWER(bool, obs_output_active(const obs_output_t *output), output->active)
ANSWER(int, obs_output_get_frames_dropped(const obs_output_t *), 0)
ANSWER(signal_handler_t *, obs_output_get_signal_handler(const obs_output_t *output),
       const_cast<obs_output_t *>(output))
// OBS ends an output on the caller's thread and raises "stop" with code 0.
ANSWER(void, obs_output_force_stop(obs_output_t *output), Raise(output, "stop", OBS_OUTPUT_SUCCESS))
void obs_encoder_set_video(obs_encoder_t *, video_t *) {}
void obs_encoder_set_audio(obs_encoder_t *, audio_t *) {}
void obs_encoder_set_scaled_size(obs_encoder_t *, uint32_t, uint32_t) {}
void obs_encoder_set_preferred_video_format(obs_encoder_t *, enum video_format) {}
void obs_encoder_release(obs_encoder_t *) {}
void obs_service_release(obs_service_t *) {}
void obs_output_release(obs_output_t *) {}
void obs_output_set_service(obs_output_t *, obs_service_t *) {}
void obs_output_set_video_encoder(obs_output_t *, obs_encoder_t *) {}
void obs_output_set_audio_encoder(obs_output_t *, obs_encoder_t *, size_t) {}
void obs_output_set_reconnect_settings(obs_output_t *, int, int) {}

// The stand-in's handlers live as long as their outputs, so holding a reference
// is nothing more than connecting.
void signal_handler_connect_ref(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	handler->slots.emplace_back(signal, callback, data);
}

// A connection object that was never connected, or already was disconnected,
// disconnects from no handler at all.
void signal_handler_disconnect(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	if (!handler)
		return;
	auto &slots = handler->slots;
	for (auto it = slots.begin(); it != slots.end(); ++it)
		if (*it == std::tuple(std::string(signal), callback, data))
			return void(slots.erase(it));
}

bool calldata_get_data(const calldata_t *data, const char *name, void *out, size_t size)
{
	return strcmp(name, "code") == 0 && size == sizeof(long long) && memcpy(out, data->stack, size);
}

// --- For the tests --------------------------------------------------------------

void stub_obs_reset(const char *config)
{
	log_lines.clear();
	outputs.clear();
	config_dir = config ? config : "";
}

ANSWER(int, stub_obs_log_count(void), static_cast<int>(log_lines.size()))
ANSWER(const char *, stub_obs_log_text(int index), log_lines.at(static_cast<size_t>(index)).c_str())
ANSWER(int, stub_obs_output_count(void), static_cast<int>(outputs.size()))
ANSWER(void, stub_obs_output_raise(int index, const char *signal, long long code),
       Raise(outputs.at(static_cast<size_t>(index)).get(), signal, code))
