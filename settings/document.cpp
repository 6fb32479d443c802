#include "settings/document.h"

#include "settings/kick.h"
#include "settings/texts.h"

namespace torvane {

OBSDataAutoRelease SettingsToData(const PanelSettings &settings)
{
	OBSDataAutoRelease document = obs_data_create();
	obs_data_set_int(document, "version", 1);
	obs_data_set_int(document, "bitrate", settings.bitrate);
	obs_data_set_int(document, "height", settings.height);
	obs_data_set_int(document, "fps", settings.fps);
	obs_data_set_string(document, "encoder", settings.encoder.c_str());

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
		if (destination.quality) {
			// Only the members the destination has of its own: the rest
			// follow the shared quality.
			const OwnQuality &own = *destination.quality;
			OBSDataAutoRelease quality = obs_data_create();
			if (own.height)
				obs_data_set_int(quality, "height", own.height);
			if (own.fps)
				obs_data_set_int(quality, "fps", own.fps);
			if (own.bitrate)
				obs_data_set_int(quality, "bitrate", own.bitrate);
			if (!own.encoder.empty())
				obs_data_set_string(quality, "encoder", own.encoder.c_str());
			if (own.obs_stream)
				obs_data_set_bool(quality, "obs_stream", true);
			obs_data_set_obj(item, "quality", quality);
		}
		if (destination.picture.kind != PictureKind::Program) {
			OBSDataAutoRelease picture = obs_data_create();
			obs_data_set_string(picture, "kind", PictureKindName(destination.picture.kind));
			if (!destination.picture.scene.empty())
				obs_data_set_string(picture, "scene", destination.picture.scene.c_str());
			obs_data_set_obj(item, "picture", picture);
		}
		obs_data_array_push_back(list, item);
	}
	obs_data_set_array(document, "destinations", list);
	obs_data_set_bool(document, "follow_obs_stream", settings.follow_obs_stream);
	// Only once the relay was set up: documents without one stay as they were.
	const RelaySettings &relay = settings.relay;
	if (relay.enabled || !relay.ingest.empty() || !relay.key.empty()) {
		OBSDataAutoRelease data = obs_data_create();
		obs_data_set_bool(data, "enabled", relay.enabled);
		obs_data_set_string(data, "ingest", relay.ingest.c_str());
		obs_data_set_string(data, "key", relay.key.c_str());
		obs_data_set_string(data, "stats_path", relay.stats_path.c_str());
		obs_data_set_obj(document, "relay", data);
	}
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

// An encoder member: absent keeps `encoder` as it is; present, it must be an
// encoder id.
static bool ReadEncoder(obs_data_t *data, std::string &encoder)
{
	if (!obs_data_has_user_value(data, "encoder"))
		return true;
	encoder = obs_data_get_string(data, "encoder");
	return IsEncoderId(encoder);
}

// A destination's "quality" member: absent, the shared quality; each member it
// holds must be in range, as the shared quality's are.
static bool ReadOwnQuality(obs_data_t *item, std::optional<OwnQuality> &quality)
{
	if (!obs_data_has_user_value(item, "quality"))
		return true;
	OBSDataAutoRelease data = obs_data_get_obj(item, "quality");
	if (!data)
		return false;
	OwnQuality own;
	bool valid = ReadEncoder(data, own.encoder);
	if (obs_data_has_user_value(data, "height"))
		valid = ReadInt32(data, "height", own.height) && IsOfferedHeight(own.height) && valid;
	if (obs_data_has_user_value(data, "fps"))
		valid = ReadInt32(data, "fps", own.fps) && IsOfferedFps(own.fps) && valid;
	if (obs_data_has_user_value(data, "bitrate"))
		valid = ReadInt32(data, "bitrate", own.bitrate) && IsBitrateInRange(own.bitrate) && valid;
	own.obs_stream = obs_data_get_bool(data, "obs_stream");
	quality = std::move(own);
	return valid;
}

// A destination's "picture" member: absent, the program. A kind other than the
// three, or a scene picture without its scene, refuses the file.
static bool ReadPicture(obs_data_t *item, Picture &picture)
{
	if (!obs_data_has_user_value(item, "picture"))
		return true;
	OBSDataAutoRelease data = obs_data_get_obj(item, "picture");
	if (!data)
		return false;
	const std::string kind = obs_data_get_string(data, "kind");
	picture.scene = obs_data_get_string(data, "scene");
	for (PictureKind known : {PictureKind::Program, PictureKind::Scene, PictureKind::Vertical}) {
		if (kind == PictureKindName(known))
			picture.kind = known;
	}
	if (kind != PictureKindName(picture.kind))
		return false;
	if (picture.kind == PictureKind::Program)
		picture.scene.clear();
	return picture.kind != PictureKind::Scene || !picture.scene.empty();
}

bool SettingsFromData(const char *json, PanelSettings &settings, std::string &message)
{
	OBSDataAutoRelease document = obs_data_create_from_json(json);
	if (!document || obs_data_get_int(document, "version") != 1) {
		message = Tr(Txt::UnsupportedVersion);
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
	in_range = ReadEncoder(document, candidate.encoder) && in_range;

	OBSDataArrayAutoRelease list = obs_data_get_array(document, "destinations");
	if (!list || obs_data_array_count(list) > max_saved_destinations || !in_range) {
		message = Tr(Txt::InvalidSettings);
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
		if (!ReadOwnQuality(item, destination.quality) || !ReadPicture(item, destination.picture)) {
			message = Tr(Txt::InvalidSettings);
			return false;
		}
		candidate.destinations.push_back(std::move(destination));
	}

	// Added within version 1: a document written before it reads as false.
	candidate.follow_obs_stream = obs_data_get_bool(document, "follow_obs_stream");
	OBSDataAutoRelease relay = obs_data_get_obj(document, "relay");
	if (relay) {
		candidate.relay.enabled = obs_data_get_bool(relay, "enabled");
		candidate.relay.ingest = obs_data_get_string(relay, "ingest");
		candidate.relay.key = obs_data_get_string(relay, "key");
		candidate.relay.stats_path = obs_data_get_string(relay, "stats_path");
	}
	settings = std::move(candidate);
	return true;
}

} // namespace torvane
