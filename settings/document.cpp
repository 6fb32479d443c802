#include "settings/document.h"

#include "settings/host_data.h"
#include "settings/kick.h"

namespace torvane {

static const char *const unsupported_version_message =
	"Unsupported settings version. The file has been left untouched.";
static const char *const invalid_settings_message = "Invalid settings. The file has been left untouched.";

obs_data_t *SettingsToData(const PanelSettings &settings)
{
	DataRef document(obs_data_create());
	obs_data_set_int(document.get(), "version", 1);
	obs_data_set_int(document.get(), "bitrate", settings.bitrate);
	obs_data_set_int(document.get(), "height", settings.height);
	obs_data_set_int(document.get(), "fps", settings.fps);

	DataArrayRef list(obs_data_array_create());
	for (const Destination &destination : settings.destinations) {
		DataRef item(obs_data_create());
		obs_data_set_string(item.get(), "name", destination.name.c_str());
		obs_data_set_string(item.get(), "platform", destination.platform.c_str());
		obs_data_set_string(item.get(), "server", CompleteKickServer(destination).c_str());
		obs_data_set_string(item.get(), "key", destination.key.c_str());
		obs_data_set_string(item.get(), "username", destination.username.c_str());
		obs_data_set_string(item.get(), "password", destination.password.c_str());
		obs_data_set_bool(item.get(), "enabled", destination.enabled);
		obs_data_array_push_back(list.get(), item.get());
	}
	obs_data_set_array(document.get(), "destinations", list.get());
	return document.release();
}

// Integers are stored as 64-bit values; one outside the 32-bit range is refused
// rather than narrowed, so that a wrapped value cannot pass the range checks as
// a different number.
static bool ReadInt32(obs_data_t *document, const char *name, int32_t &value)
{
	const long long stored = obs_data_get_int(document, name);
	if (stored < INT32_MIN || stored > INT32_MAX)
		return false;
	value = static_cast<int32_t>(stored);
	return true;
}

bool SettingsFromData(const char *json, PanelSettings &settings, std::string &message)
{
	DataRef document(obs_data_create_from_json(json));
	if (!document || obs_data_get_int(document.get(), "version") != 1) {
		message = unsupported_version_message;
		return false;
	}

	PanelSettings candidate;
	// A missing bitrate reads as 0 and fails the range check below, while a
	// missing height or fps keeps the candidate's default.
	bool in_range = ReadInt32(document.get(), "bitrate", candidate.bitrate);
	if (obs_data_has_user_value(document.get(), "height"))
		in_range = ReadInt32(document.get(), "height", candidate.height) && in_range;
	if (obs_data_has_user_value(document.get(), "fps"))
		in_range = ReadInt32(document.get(), "fps", candidate.fps) && in_range;
	in_range = in_range && candidate.bitrate >= 1000 && candidate.bitrate <= 8000 &&
		   (candidate.height == 720 || candidate.height == 1080) &&
		   (candidate.fps == 30 || candidate.fps == 60);

	DataArrayRef list(obs_data_get_array(document.get(), "destinations"));
	if (!list || obs_data_array_count(list.get()) > max_destinations || !in_range) {
		message = invalid_settings_message;
		return false;
	}

	const size_t count = obs_data_array_count(list.get());
	candidate.destinations.reserve(count);
	for (size_t i = 0; i < count; i++) {
		DataRef item(obs_data_array_item(list.get(), i));
		Destination destination;
		destination.name = obs_data_get_string(item.get(), "name");
		destination.platform = obs_data_get_string(item.get(), "platform");
		destination.server = obs_data_get_string(item.get(), "server");
		destination.key = obs_data_get_string(item.get(), "key");
		destination.username = obs_data_get_string(item.get(), "username");
		destination.password = obs_data_get_string(item.get(), "password");
		destination.enabled = obs_data_get_bool(item.get(), "enabled");
		destination.server = CompleteKickServer(destination);
		candidate.destinations.push_back(std::move(destination));
	}

	settings = std::move(candidate);
	return true;
}

} // namespace torvane
