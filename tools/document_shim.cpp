#include "tools/document_shim.h"

#include "settings/kick.h"

#include <obs.hpp>

namespace torvane {

bool SettingsFromData(const char *json, PanelSettings &settings, std::string &message)
{
	OBSDataAutoRelease data = obs_data_create_from_json(json);
	if (!data || obs_data_get_int(data, "version") != 1) {
		message = "Unsupported settings version. The file has been left untouched.";
		return false;
	}
	PanelSettings candidate;
	candidate.bitrate = static_cast<int32_t>(obs_data_get_int(data, "bitrate"));
	candidate.height = obs_data_has_user_value(data, "height") ? static_cast<int32_t>(obs_data_get_int(data, "height"))
								   : 1080;
	candidate.fps = obs_data_has_user_value(data, "fps") ? static_cast<int32_t>(obs_data_get_int(data, "fps")) : 30;
	OBSDataArrayAutoRelease list = obs_data_get_array(data, "destinations");
	if (!list || obs_data_array_count(list) > 1000 || static_cast<uint32_t>(candidate.bitrate - 1000) > 7000 ||
	    (candidate.height != 720 && candidate.height != 1080) || (candidate.fps != 30 && candidate.fps != 60)) {
		message = "Invalid settings. The file has been left untouched.";
		return false;
	}
	for (size_t i = 0; i < obs_data_array_count(list); i++) {
		OBSDataAutoRelease item = obs_data_array_item(list, i);
		Destination d;
		d.name = obs_data_get_string(item, "name");
		d.platform = obs_data_get_string(item, "platform");
		d.server = obs_data_get_string(item, "server");
		d.key = obs_data_get_string(item, "key");
		d.username = obs_data_get_string(item, "username");
		d.password = obs_data_get_string(item, "password");
		d.enabled = obs_data_get_bool(item, "enabled");
		d.server = CompleteKickServer(d);
		candidate.destinations.push_back(std::move(d));
	}
	settings = std::move(candidate);
	return true;
}

} // namespace torvane
