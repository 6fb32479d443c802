// Stands in for obs.dll's settings objects, memory functions and module
// configuration path: ordered members, reference counts, and JSON read and
// written the way libobs does it with jansson (compact, members in order,
// arrays holding only objects, null members dropped, duplicate keys refused).
#include <obs-module.h>

#include "stub_host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class Type { integer, real, text, boolean, object, array };

struct Value {
	Type type = Type::integer;
	long long integer = 0;
	double real = 0;
	std::string text;
	bool boolean = false;
	obs_data_t *object = nullptr;
	obs_data_array_t *array = nullptr;
};

std::string config_dir;

} // namespace

struct obs_data {
	long refs = 1;
	std::vector<std::pair<std::string, Value>> members;
	char *json = nullptr;
};

struct obs_data_array {
	long refs = 1;
	std::vector<obs_data_t *> items;
};

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
	void *copy = bmalloc(size);
	if (size)
		memcpy(copy, ptr, size);
	return copy;
}

void stub_obs_set_config_dir(const char *dir)
{
	config_dir = dir ? dir : "";
}

char *obs_module_get_config_path(obs_module_t *, const char *file)
{
	if (config_dir.empty())
		return nullptr;
	const std::string path = config_dir + "/" + file;
	return static_cast<char *>(bmemdup(path.c_str(), path.size() + 1));
}

obs_data_t *obs_data_create()
{
	return new obs_data;
}

static void ReleaseValue(Value &value)
{
	if (value.object)
		obs_data_release(value.object);
	if (value.array)
		obs_data_array_release(value.array);
	value.object = nullptr;
	value.array = nullptr;
}

void obs_data_release(obs_data_t *data)
{
	if (!data || --data->refs > 0)
		return;
	for (auto &member : data->members)
		ReleaseValue(member.second);
	free(data->json);
	delete data;
}

obs_data_array_t *obs_data_array_create()
{
	return new obs_data_array;
}

void obs_data_array_release(obs_data_array_t *array)
{
	if (!array || --array->refs > 0)
		return;
	for (obs_data_t *item : array->items)
		obs_data_release(item);
	delete array;
}

size_t obs_data_array_count(obs_data_array_t *array)
{
	return array ? array->items.size() : 0;
}

obs_data_t *obs_data_array_item(obs_data_array_t *array, size_t idx)
{
	if (!array || idx >= array->items.size())
		return nullptr;
	array->items[idx]->refs++;
	return array->items[idx];
}

size_t obs_data_array_push_back(obs_data_array_t *array, obs_data_t *obj)
{
	if (!array || !obj)
		return 0;
	obj->refs++;
	array->items.push_back(obj);
	return array->items.size() - 1;
}

static Value *Find(obs_data_t *data, const char *name)
{
	if (!data)
		return nullptr;
	for (auto &member : data->members)
		if (member.first == name)
			return &member.second;
	return nullptr;
}

static void Set(obs_data_t *data, const char *name, Value value)
{
	if (Value *existing = Find(data, name)) {
		ReleaseValue(*existing);
		*existing = std::move(value);
	} else {
		data->members.emplace_back(name, std::move(value));
	}
}

void obs_data_set_int(obs_data_t *data, const char *name, long long val)
{
	Value v;
	v.integer = val;
	Set(data, name, v);
}

void obs_data_set_string(obs_data_t *data, const char *name, const char *val)
{
	Value v;
	v.type = Type::text;
	v.text = val ? val : "";
	Set(data, name, v);
}

void obs_data_set_bool(obs_data_t *data, const char *name, bool val)
{
	Value v;
	v.type = Type::boolean;
	v.boolean = val;
	Set(data, name, v);
}

void obs_data_set_array(obs_data_t *data, const char *name, obs_data_array_t *array)
{
	Value v;
	v.type = Type::array;
	v.array = array;
	array->refs++;
	Set(data, name, v);
}

bool obs_data_has_user_value(obs_data_t *data, const char *name)
{
	return Find(data, name) != nullptr;
}

long long obs_data_get_int(obs_data_t *data, const char *name)
{
	const Value *v = Find(data, name);
	if (!v)
		return 0;
	return v->type == Type::integer ? v->integer : v->type == Type::real ? static_cast<long long>(v->real) : 0;
}

const char *obs_data_get_string(obs_data_t *data, const char *name)
{
	const Value *v = Find(data, name);
	return v && v->type == Type::text ? v->text.c_str() : "";
}

bool obs_data_get_bool(obs_data_t *data, const char *name)
{
	const Value *v = Find(data, name);
	return v && v->type == Type::boolean && v->boolean;
}

obs_data_array_t *obs_data_get_array(obs_data_t *data, const char *name)
{
	Value *v = Find(data, name);
	if (!v || v->type != Type::array)
		return nullptr;
	v->array->refs++;
	return v->array;
}

// Writing.

static void WriteString(std::string &out, const std::string &text)
{
	out += '"';
	for (unsigned char c : text) {
		switch (c) {
		case '"':
			out += "\\\"";
			break;
		case '\\':
			out += "\\\\";
			break;
		case '\n':
			out += "\\n";
			break;
		case '\r':
			out += "\\r";
			break;
		case '\t':
			out += "\\t";
			break;
		case '\b':
			out += "\\b";
			break;
		case '\f':
			out += "\\f";
			break;
		default:
			if (c < 0x20) {
				char escape[8];
				snprintf(escape, sizeof(escape), "\\u%04X", c);
				out += escape;
			} else {
				out += static_cast<char>(c);
			}
		}
	}
	out += '"';
}

static void WriteObject(std::string &out, const obs_data_t *data)
{
	out += '{';
	bool first = true;
	for (const auto &[name, v] : data->members) {
		if (!first)
			out += ',';
		first = false;
		WriteString(out, name);
		out += ':';
		switch (v.type) {
		case Type::integer:
			out += std::to_string(v.integer);
			break;
		case Type::real: {
			char number[64];
			snprintf(number, sizeof(number), "%.17g", v.real);
			out += number;
			break;
		}
		case Type::text:
			WriteString(out, v.text);
			break;
		case Type::boolean:
			out += v.boolean ? "true" : "false";
			break;
		case Type::object:
			WriteObject(out, v.object);
			break;
		case Type::array:
			out += '[';
			for (size_t i = 0; i < v.array->items.size(); i++) {
				if (i)
					out += ',';
				WriteObject(out, v.array->items[i]);
			}
			out += ']';
			break;
		}
	}
	out += '}';
}

const char *obs_data_get_json(obs_data_t *data)
{
	if (!data)
		return nullptr;
	std::string out;
	WriteObject(out, data);
	free(data->json);
	data->json = static_cast<char *>(malloc(out.size() + 1));
	memcpy(data->json, out.c_str(), out.size() + 1);
	return data->json;
}

// Reading.

namespace {

struct Parser {
	const char *p;

	void Space()
	{
		while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
			p++;
	}

	bool Literal(const char *word)
	{
		const size_t n = strlen(word);
		if (strncmp(p, word, n) != 0)
			return false;
		p += n;
		return true;
	}

	static void Utf8(std::string &out, unsigned long c)
	{
		if (c < 0x80) {
			out += static_cast<char>(c);
		} else if (c < 0x800) {
			out += static_cast<char>(0xC0 | (c >> 6));
			out += static_cast<char>(0x80 | (c & 0x3F));
		} else if (c < 0x10000) {
			out += static_cast<char>(0xE0 | (c >> 12));
			out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
			out += static_cast<char>(0x80 | (c & 0x3F));
		} else {
			out += static_cast<char>(0xF0 | (c >> 18));
			out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
			out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
			out += static_cast<char>(0x80 | (c & 0x3F));
		}
	}

	bool Hex4(unsigned long &value)
	{
		value = 0;
		for (int i = 0; i < 4; i++, p++) {
			const char c = *p;
			value <<= 4;
			if (c >= '0' && c <= '9')
				value |= static_cast<unsigned long>(c - '0');
			else if (c >= 'a' && c <= 'f')
				value |= static_cast<unsigned long>(c - 'a' + 10);
			else if (c >= 'A' && c <= 'F')
				value |= static_cast<unsigned long>(c - 'A' + 10);
			else
				return false;
		}
		return true;
	}

	bool String(std::string &out)
	{
		if (*p++ != '"')
			return false;
		while (*p != '"') {
			const unsigned char c = static_cast<unsigned char>(*p++);
			if (c == 0 || c < 0x20)
				return false;
			if (c != '\\') {
				out += static_cast<char>(c);
				continue;
			}
			const char e = *p++;
			switch (e) {
			case '"':
			case '\\':
			case '/':
				out += e;
				break;
			case 'n':
				out += '\n';
				break;
			case 'r':
				out += '\r';
				break;
			case 't':
				out += '\t';
				break;
			case 'b':
				out += '\b';
				break;
			case 'f':
				out += '\f';
				break;
			case 'u': {
				unsigned long c1;
				if (!Hex4(c1))
					return false;
				if (c1 >= 0xD800 && c1 <= 0xDBFF) {
					unsigned long c2;
					if (!Literal("\\u") || !Hex4(c2) || c2 < 0xDC00 || c2 > 0xDFFF)
						return false;
					c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
				} else if (c1 >= 0xDC00 && c1 <= 0xDFFF) {
					return false;
				}
				Utf8(out, c1);
				break;
			}
			default:
				return false;
			}
		}
		p++;
		return true;
	}

	// Parses any value; objects and arrays of objects become settings
	// objects, other array elements and nulls are dropped as libobs does.
	bool Parse(Value &v, bool &keep)
	{
		Space();
		keep = true;
		if (*p == '{') {
			v.type = Type::object;
			v.object = obs_data_create();
			return Object(v.object);
		}
		if (*p == '[') {
			v.type = Type::array;
			v.array = obs_data_array_create();
			p++;
			Space();
			if (*p == ']') {
				p++;
				return true;
			}
			for (;;) {
				Value item;
				bool item_keep;
				const bool ok = Parse(item, item_keep);
				if (ok && item.type == Type::object && item_keep) {
					v.array->items.push_back(item.object);
					item.object = nullptr;
				}
				ReleaseValue(item);
				if (!ok)
					return false;
				Space();
				if (*p == ',') {
					p++;
					continue;
				}
				if (*p++ != ']')
					return false;
				return true;
			}
		}
		if (*p == '"') {
			v.type = Type::text;
			return String(v.text);
		}
		if (Literal("true") || Literal("false")) {
			v.type = Type::boolean;
			v.boolean = p[-1] == 'e' && p[-2] == 'u';
			return true;
		}
		if (Literal("null")) {
			keep = false;
			return true;
		}
		const char *start = p;
		if (*p == '-')
			p++;
		if (*p < '0' || *p > '9')
			return false;
		while (*p >= '0' && *p <= '9')
			p++;
		bool integral = true;
		if (*p == '.' || *p == 'e' || *p == 'E') {
			integral = false;
			p++;
			while ((*p >= '0' && *p <= '9') || *p == '+' || *p == '-' || *p == 'e' || *p == 'E')
				p++;
		}
		const std::string number(start, p);
		if (integral) {
			errno = 0;
			v.integer = strtoll(number.c_str(), nullptr, 10);
			if (errno == ERANGE)
				return false; // jansson refuses integers beyond 64 bits
		} else {
			v.type = Type::real;
			v.real = strtod(number.c_str(), nullptr);
		}
		return true;
	}

	bool Object(obs_data_t *data)
	{
		p++;
		Space();
		if (*p == '}') {
			p++;
			return true;
		}
		for (;;) {
			Space();
			std::string name;
			if (!String(name))
				return false;
			Space();
			if (*p++ != ':')
				return false;
			if (Find(data, name.c_str()))
				return false; // duplicate key
			Value v;
			bool keep;
			if (!Parse(v, keep)) {
				ReleaseValue(v);
				return false;
			}
			if (keep)
				data->members.emplace_back(name, v);
			else
				ReleaseValue(v);
			Space();
			if (*p == ',') {
				p++;
				continue;
			}
			return *p++ == '}';
		}
	}
};

} // namespace

obs_data_t *obs_data_create_from_json(const char *json_string)
{
	if (!json_string)
		return nullptr;
	Parser parser{json_string};
	Value root;
	bool keep;
	const bool ok = parser.Parse(root, keep);
	parser.Space();
	if (!ok || *parser.p != '\0' || (root.type != Type::object && root.type != Type::array)) {
		ReleaseValue(root);
		blog(LOG_ERROR, "obs-data.c: [obs_data_create_from_json] Failed reading json string");
		return nullptr;
	}
	if (root.type == Type::object)
		return root.object;
	ReleaseValue(root);
	return obs_data_create();
}
