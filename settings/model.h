#pragma once

#include "settings/quality.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

// One configured streaming target. Every text is UTF-8. A destination's
// position in PanelSettings::destinations is its identity.
struct Destination {
	std::string name;
	std::string platform; // "YouTube", "Twitch", "Kick", "Patreon", "Custom" or any other text
	std::string server;   // RTMP(S) URL with the application path, without the key
	std::string key;
	std::string username;
	std::string password;
	bool enabled = false;
};

// The whole configuration: the stream quality shared by every destination,
// then the destinations in display order.
struct PanelSettings {
	int32_t bitrate = default_bitrate_kbps; // kbps, min_bitrate_kbps to max_bitrate_kbps
	int32_t height = height_1080p;          // height_720p or height_1080p
	int32_t fps = fps_30;                   // fps_30 or fps_60
	std::vector<Destination> destinations;
	// OBS's own Start Streaming and its stop start and stop every enabled
	// destination as well.
	bool follow_obs_stream = false;
};

// The most destinations a configuration may hold: the settings file refuses
// more, so neither "+ Custom" nor a save goes beyond it.
inline constexpr size_t max_saved_destinations = 1000;

PanelSettings DefaultSettings();

// The destination "+ Custom" appends to a list that holds `count` destinations.
Destination MakeCustomDestination(size_t count);

} // namespace torvane
