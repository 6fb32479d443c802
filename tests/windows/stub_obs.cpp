// Stands in for obs.dll with just what torvane.dll imports (cmake/windows/obs.def):
// log lines, memory, the configuration path, settings objects kept as JSON
// values, and outputs whose signals the tests raise. Everything else the
// module creates is a token that is never looked into.
#include <obs-module.h>

#include "stub_host.h"

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
	Json(Kind k = Int, long long n = 0, std::string t = "") : kind(k), number(n), text(std::move(t)) {}
};

std::vector<std::string> log_lines;
std::string config_dir;

} // namespace

// Settings objects copy members in and out: the module never changes an object
// after handing it over, so libobs's sharing makes no difference to it.
struct obs_data {
	long refs = 1;
	Json value{Json::Object};
	std::string json;
	explicit obs_data(Json object = Json::Object) : value(std::move(object)) {}
};
struct obs_data_array {
	long refs = 1;
	Json value{Json::Array};
	explicit obs_data_array(Json array = Json::Array) : value(std::move(array)) {}
};

namespace {

template<typename T>
void Release(T *object)
{
	if (object && --object->refs == 0)
		delete object;
}

Json *Find(obs_data_t *data, const char *name)
{
	for (Json &member : data->value.items)
		if (member.name == name)
			return &member;
	return nullptr;
}

void Set(obs_data_t *data, const char *name, Json value)
{
	value.name = name;
	if (Json *member = Find(data, name))
		*member = value;
	else
		data->value.items.push_back(value);
}

void Write(std::string &out, const Json &value)
{
	auto text = [&out](const std::string &s) {
		out += '"';
		for (unsigned char c : s) {
			char escape[8];
			snprintf(escape, sizeof(escape), "\\u%04x", c);
			out += c == '"' || c == '\\' ? std::string{'\\', char(c)}
			       : c < 0x20            ? escape
						     : std::string(1, c);
		}
		out += '"';
	};
	if (value.kind == Json::Int)
		out += std::to_string(value.number);
	else if (value.kind == Json::Bool)
		out += value.number ? "true" : "false";
	else if (value.kind == Json::Text)
		text(value.text);
	else {
		out += value.kind == Json::Object ? '{' : '[';
		for (size_t i = 0; i < value.items.size(); i++) {
			out += i ? "," : "";
			if (value.kind == Json::Object)
				text(value.items[i].name), out += ':';
			Write(out, value.items[i]);
		}
		out += value.kind == Json::Object ? '}' : ']';
	}
}

// A JSON reader for the documents the module writes; false on anything else.
bool Read(const char *&p, Json &value);

bool ReadText(const char *&p, std::string &text)
{
	if (*p++ != '"')
		return false;
	for (; *p != '"'; p++) {
		if (static_cast<unsigned char>(*p) < 0x20)
			return false;
		if (*p != '\\') {
			text += *p;
			continue;
		}
		const char *plain = strchr("\"\\/bfnrt", *++p);
		if (!*p || (!plain && *p != 'u'))
			return false;
		if (plain) {
			text += "\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"];
			continue;
		}
		char *end = nullptr;
		const std::string hex(p + 1, strnlen(p + 1, 4));
		const unsigned long c = strtoul(hex.c_str(), &end, 16);
		if (hex.size() != 4 || *end)
			return false;
		p += 4;
		if (c < 0x80)
			text += char(c);
		else if (c < 0x800)
			text += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
		else
			text += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
	}
	p++;
	return true;
}

bool Read(const char *&p, Json &value)
{
	p += strspn(p, " \t\r\n");
	const char open = *p;
	if (open == '"')
		return value.kind = Json::Text, ReadText(p, value.text);
	for (const char *word : {"false", "true"})
		if (strncmp(p, word, strlen(word)) == 0)
			return p += strlen(word), value.kind = Json::Bool, value.number = *word == 't', true;
	if (open != '{' && open != '[') {
		// libobs cuts reals when asked for an integer.
		char *end = nullptr;
		value.kind = Json::Int;
		value.number = static_cast<long long>(strtod(p, &end));
		return end != p && (p = end, true);
	}
	value.kind = open == '{' ? Json::Object : Json::Array;
	const char close = open == '{' ? '}' : ']';
	p += strspn(p + 1, " \t\r\n") + 1;
	while (*p != close) {
		Json item;
		if (!value.items.empty() && *p++ != ',')
			return false;
		p += strspn(p, " \t\r\n");
		if (open == '{' && (!ReadText(p, item.name) || *(p += strspn(p, " \t\r\n"))++ != ':'))
			return false;
		if (!Read(p, item))
			return false;
		value.items.push_back(item);
		p += strspn(p, " \t\r\n");
	}
	p++;
	return true;
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

void *bmalloc(size_t size)
{
	return malloc(size ? size : 1);
}

void bfree(void *ptr)
{
	free(ptr);
}

void *bmemdup(const void *ptr, size_t size)
{
	return memcpy(bmalloc(size), ptr, size);
}

char *obs_module_get_config_path(obs_module_t *, const char *file)
{
	const std::string path = config_dir + "/" + file;
	return config_dir.empty() ? nullptr : static_cast<char *>(bmemdup(path.c_str(), path.size() + 1));
}

obs_data_t *obs_data_create()
{
	return new obs_data;
}

obs_data_t *obs_data_create_from_json(const char *json)
{
	auto data = std::make_unique<obs_data>();
	const char *p = json;
	if (!Read(p, data->value) || data->value.kind != Json::Object || p[strspn(p, " \t\r\n")])
		return nullptr;
	return data.release();
}

void obs_data_release(obs_data_t *data)
{
	Release(data);
}

const char *obs_data_get_json(obs_data_t *data)
{
	data->json.clear();
	Write(data->json, data->value);
	return data->json.c_str();
}

void obs_data_set_int(obs_data_t *data, const char *name, long long val)
{
	Set(data, name, {Json::Int, val});
}

void obs_data_set_bool(obs_data_t *data, const char *name, bool val)
{
	Set(data, name, {Json::Bool, val});
}

void obs_data_set_string(obs_data_t *data, const char *name, const char *val)
{
	Set(data, name, {Json::Text, 0, val ? val : ""});
}

void obs_data_set_array(obs_data_t *data, const char *name, obs_data_array_t *array)
{
	Set(data, name, array->value);
}

bool obs_data_has_user_value(obs_data_t *data, const char *name)
{
	return Find(data, name);
}

long long obs_data_get_int(obs_data_t *data, const char *name)
{
	const Json *member = Find(data, name);
	return member && member->kind == Json::Int ? member->number : 0;
}

bool obs_data_get_bool(obs_data_t *data, const char *name)
{
	const Json *member = Find(data, name);
	return member && member->kind == Json::Bool && member->number;
}

const char *obs_data_get_string(obs_data_t *data, const char *name)
{
	const Json *member = Find(data, name);
	return member && member->kind == Json::Text ? member->text.c_str() : "";
}

obs_data_array_t *obs_data_get_array(obs_data_t *data, const char *name)
{
	const Json *member = Find(data, name);
	return member && member->kind == Json::Array ? new obs_data_array(*member) : nullptr;
}

obs_data_array_t *obs_data_array_create()
{
	return new obs_data_array;
}

void obs_data_array_release(obs_data_array_t *array)
{
	Release(array);
}

size_t obs_data_array_count(obs_data_array_t *array)
{
	return array ? array->value.items.size() : 0;
}

obs_data_t *obs_data_array_item(obs_data_array_t *array, size_t idx)
{
	if (!array || idx >= array->value.items.size() || array->value.items[idx].kind != Json::Object)
		return nullptr;
	return new obs_data(array->value.items[idx]);
}

size_t obs_data_array_push_back(obs_data_array_t *array, obs_data_t *obj)
{
	array->value.items.push_back(obj->value);
	return array->value.items.size() - 1;
}

// --- The mix, encoders, services and outputs ---------------------------------

struct signal_handler {
	std::vector<std::tuple<std::string, signal_callback_t, void *>> slots;
};
struct obs_output {
	signal_handler signals;
	bool active = false;
};

namespace {

std::vector<std::unique_ptr<obs_output>> outputs; // kept until the next reset
char token;

void Raise(obs_output_t *output, const char *signal, long long code)
{
	calldata_t data = {reinterpret_cast<uint8_t *>(&code), sizeof(code), 0, true};
	output->active = strcmp(signal, "stop") != 0;
	for (const auto &[name, callback, param] : std::vector(output->signals.slots))
		if (name == signal)
			callback(param, &data);
}

} // namespace

bool obs_initialized(void)
{
	return true;
}

video_t *obs_get_video(void)
{
	return reinterpret_cast<video_t *>(&token);
}

audio_t *obs_get_audio(void)
{
	return reinterpret_cast<audio_t *>(&token);
}

bool obs_get_video_info(struct obs_video_info *ovi)
{
	*ovi = {};
	ovi->fps_num = 60;
	ovi->fps_den = 1;
	ovi->base_width = ovi->output_width = 1920;
	ovi->base_height = ovi->output_height = 1080;
	return true;
}

bool obs_get_audio_info(struct obs_audio_info *oai)
{
	*oai = {48000, SPEAKERS_STEREO};
	return true;
}

const char *obs_encoder_get_display_name(const char *)
{
	return "stub";
}

const char *obs_service_get_display_name(const char *)
{
	return "stub";
}

const char *obs_output_get_display_name(const char *)
{
	return "stub";
}

obs_encoder_t *obs_video_encoder_create(const char *, const char *, obs_data_t *, obs_data_t *)
{
	return reinterpret_cast<obs_encoder_t *>(&token);
}

obs_encoder_t *obs_audio_encoder_create(const char *, const char *, obs_data_t *, size_t, obs_data_t *)
{
	return reinterpret_cast<obs_encoder_t *>(&token);
}

obs_service_t *obs_service_create(const char *, const char *, obs_data_t *, obs_data_t *)
{
	return reinterpret_cast<obs_service_t *>(&token);
}

obs_output_t *obs_output_create(const char *, const char *, obs_data_t *, obs_data_t *)
{
	outputs.push_back(std::make_unique<obs_output>());
	return outputs.back().get();
}

void obs_encoder_set_video(obs_encoder_t *, video_t *) {}
void obs_encoder_set_audio(obs_encoder_t *, audio_t *) {}
void obs_encoder_set_scaled_size(obs_encoder_t *, uint32_t, uint32_t) {}
bool obs_encoder_set_frame_rate_divisor(obs_encoder_t *, uint32_t)
{
	return true;
}
void obs_encoder_set_preferred_video_format(obs_encoder_t *, enum video_format) {}
void obs_encoder_release(obs_encoder_t *) {}
void obs_service_release(obs_service_t *) {}
void obs_output_release(obs_output_t *) {}
void obs_output_set_service(obs_output_t *, obs_service_t *) {}
void obs_output_set_video_encoder(obs_output_t *, obs_encoder_t *) {}
void obs_output_set_audio_encoder(obs_output_t *, obs_encoder_t *, size_t) {}
void obs_output_set_reconnect_settings(obs_output_t *, int, int) {}

bool obs_output_start(obs_output_t *output)
{
	return output->active = true;
}

// OBS ends an output on the caller's thread and raises "stop" with code 0.
void obs_output_force_stop(obs_output_t *output)
{
	Raise(output, "stop", OBS_OUTPUT_SUCCESS);
}

bool obs_output_active(const obs_output_t *output)
{
	return output->active;
}

int obs_output_get_frames_dropped(const obs_output_t *)
{
	return 0;
}

signal_handler_t *obs_output_get_signal_handler(const obs_output_t *output)
{
	return const_cast<signal_handler_t *>(&output->signals);
}

void signal_handler_connect(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
	handler->slots.emplace_back(signal, callback, data);
}

void signal_handler_disconnect(signal_handler_t *handler, const char *signal, signal_callback_t callback, void *data)
{
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

int stub_obs_log_count(void)
{
	return static_cast<int>(log_lines.size());
}

const char *stub_obs_log_text(int index)
{
	return log_lines.at(static_cast<size_t>(index)).c_str();
}

int stub_obs_output_count(void)
{
	return static_cast<int>(outputs.size());
}

void stub_obs_output_raise(int index, const char *signal, long long code)
{
	Raise(outputs.at(static_cast<size_t>(index)).get(), signal, code);
}
