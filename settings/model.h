#pragma once

#include "settings/quality.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

// A destination's own quality. A member left at 0 (or an empty encoder) takes
// the shared value.
struct OwnQuality {
	int32_t height = 0;
	int32_t fps = 0;
	int32_t bitrate = 0;
	std::string encoder;
	// Sends what OBS's own stream sends, with OBS's encoders: no encode of its
	// own, and only while OBS's stream is live. The members above are kept for
	// when it is unticked.
	bool obs_stream = false;
};

// What a destination sends: OBS's program, a scene of the current collection
// at the program's size, or a vertical 9:16 picture: a scene built for it or,
// without a scene, the centre of the program.
enum class PictureKind { Program, Scene, Vertical };
struct Picture {
	PictureKind kind = PictureKind::Program;
	std::string scene; // UTF-8; empty for the program and the centre of the program

	bool operator==(const Picture &other) const { return kind == other.kind && scene == other.scene; }
	bool operator!=(const Picture &other) const { return !(*this == other); }
};

// A kind's name in the settings document and obs-websocket answers: "program",
// "scene" or "vertical".
const char *PictureKindName(PictureKind kind);

// The width and height of a vertical picture for a quality height: 720 x 1280
// or 1080 x 1920.
inline uint32_t VerticalWidth(int32_t height)
{
	return height == height_720p ? 720 : 1080;
}
inline uint32_t VerticalHeight(int32_t height)
{
	return VerticalWidth(height) * 16 / 9;
}

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
	std::optional<OwnQuality> quality = std::nullopt; // none: the shared quality
	Picture picture = {};
};

// The streamer's own relay server: when enabled, Start all sends one stream at
// the shared quality to its ingest and the relay pushes it to every enabled
// destination.
struct RelaySettings {
	bool enabled = false;
	std::string ingest; // rtmp://host[:port]/application
	std::string key;
	// The statistics page's path ("/stat-" and random hex), made at the first
	// export: as secret as the key, and kept with it.
	std::string stats_path;
};

// The whole configuration: the stream quality every destination shares unless
// it has its own, then the destinations in display order.
struct PanelSettings {
	int32_t bitrate = default_bitrate_kbps; // kbps, min_bitrate_kbps to max_bitrate_kbps
	int32_t height = height_1080p;          // height_720p or height_1080p
	int32_t fps = fps_30;                   // fps_30 or fps_60
	std::vector<Destination> destinations;
	// OBS's own Start Streaming and its stop start and stop every enabled
	// destination as well.
	bool follow_obs_stream = false;
	// The shared quality's encoder: an OBS encoder id or hardware_h264_encoder.
	std::string encoder = default_encoder;
	RelaySettings relay = {};
};

// Whether a destination sends OBS's own stream's encode.
inline bool FollowsObsEncoder(const Destination &destination)
{
	return destination.quality && destination.quality->obs_stream;
}

// The most destinations a configuration may hold: the settings file refuses
// more, so neither "+ Custom" nor a save goes beyond it.
inline constexpr size_t max_saved_destinations = 1000;

PanelSettings DefaultSettings();

// The shared quality, and the quality a destination streams at: its own
// members where it has them, the shared ones for the rest.
Quality SharedQuality(const PanelSettings &settings);
Quality QualityOf(const PanelSettings &settings, const Destination &destination);

// The destination "+ Custom" appends to a list that holds `count` destinations.
Destination MakeCustomDestination(size_t count);

} // namespace torvane
