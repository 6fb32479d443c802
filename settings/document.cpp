#include "settings/document.h"

#include "settings/kick.h"

namespace torvane {

static const char *const unsupported_version_message =
	"Unsupported settings version. The file has been left untouched.";
static const char *const invalid_settings_message = "Invalid settings. The file has been left untouched.";

OBSDataAutoRelease SettingsToData(const PanelSettings &settings)
{
	OBSDataAutoRelease document = obs_data_create();
	obs_data_set_int(document, "version", 1);
	obs_data_set_int(document, "bitrate", settings.bitrate);
	obs_data_set_int(document, "height", settings.height);
	obs_data_set_int(document, "fps", settings.fps);

	OBSDataArrayAutoRelease list = obs_data_array_create();
	for (const Destination &destination : settings.destinations) {
		OBSDataAutoRelease item = obs_data_create();
		obs_data_set_string(item, "name", destination.name.c_str());
		obs_data_set_string(item, "platform", destination.platform.c_str());
		obs_data_set_string(item, "server", CompleteKickServer(destination).c_str());
		obs_data_set_string(item, "key", destination.key.c_str());
		obs_data_set_string(item, "username", destination.username.c_str());
		obs_data_set_string(item, "password", destination.password.c_str());
		obs_data_set_bool(item, "enabled", destination.enabled);
		obs_data_array_push_back(list, item);
	}
	obs_data_set_array(document, "destinations", list);
	obs_data_set_bool(document, "follow_obs_stream", settings.follow_obs_stream);
	return document;
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
	OBSDataAutoRelease document = obs_data_create_from_json(json);
	if (!document || obs_data_get_int(document, "version") != 1) {
		message = unsupported_version_message;
		return false;
	}

	PanelSettings candidate;
	// A missing bitrate reads as 0 and fails the range check below, while a
	// missing height or fps keeps the candidate's default.
	bool in_range = ReadInt32(document, "bitrate", candidate.bitrate);
	if (obs_data_has_user_value(document, "height"))
		in_range = ReadInt32(document, "height", candidate.height) && in_range;
	if (obs_data_has_user_value(document, "fps"))
		in_range = ReadInt32(document, "fps", candidate.fps) && in_range;
	in_range = in_range && IsBitrateInRange(candidate.bitrate) && IsOfferedHeight(candidate.height) &&
		   IsOfferedFps(candidate.fps);

	OBSDataArrayAutoRelease list = obs_data_get_array(document, "destinations");
	if (!list || obs_data_array_count(list) > max_saved_destinations || !in_range) {
		message = invalid_settings_message;
		return false;
	}

	const size_t count = obs_data_array_count(list);
	candidate.destinations.reserve(count);
	for (size_t i = 0; i < count; i++) {
		OBSDataAutoRelease item = obs_data_array_item(list, i);
		Destination destination;
		destination.name = obs_data_get_string(item, "name");
		destination.platform = obs_data_get_string(item, "platform");
		destination.server = obs_data_get_string(item, "server");
		destination.key = obs_data_get_string(item, "key");
		destination.username = obs_data_get_string(item, "username");
		destination.password = obs_data_get_string(item, "password");
		destination.enabled = obs_data_get_bool(item, "enabled");
		destination.server = CompleteKickServer(destination);
		candidate.destinations.push_back(std::move(destination));
	}

	// Added within version 1: a document written before it reads as false.
	candidate.follow_obs_stream = obs_data_get_bool(document, "follow_obs_stream");
	settings = std::move(candidate);
	return true;
}

} // namespace torvane
