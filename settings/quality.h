#pragma once

#include <cstdint>
#include <string>

// The stream quality: the one every destination shares by default, a
// destination's own, and the encoder settings that go with them. Validation,
// the settings document, the start and the panel all take their limits from
// here.
namespace torvane {

inline constexpr int32_t min_bitrate_kbps = 1000;
inline constexpr int32_t max_bitrate_kbps = 8000;
inline constexpr int32_t default_bitrate_kbps = 4500;

// The two output heights and the two frame-rate limits the panel offers.
inline constexpr int32_t height_720p = 720;
inline constexpr int32_t height_1080p = 1080;
inline constexpr int32_t fps_30 = 30;
inline constexpr int32_t fps_60 = 60;

// The AAC bitrate of the shared audio encode and the video's keyframe spacing.
inline constexpr int64_t audio_bitrate_kbps = 160;
inline constexpr int64_t keyframe_interval_sec = 2;

// The encoder a quality uses when it names none, and the choice that stands for
// the first hardware H.264 encoder this OBS has (x264 when it has none).
inline constexpr char default_encoder[] = "obs_x264";
inline constexpr char hardware_h264_encoder[] = "hardware_h264";
// An encoder is named by OBS's id for it: a short name of letters, digits and
// "_", "-" or ".".
inline constexpr size_t max_encoder_id_length = 100;

// One encode's quality, as a destination streams it.
struct Quality {
	int32_t height = height_1080p;
	int32_t fps = fps_30;
	int32_t bitrate = default_bitrate_kbps; // kbps
	std::string encoder = default_encoder;  // an OBS encoder id or hardware_h264_encoder

	bool operator==(const Quality &other) const
	{
		return height == other.height && fps == other.fps && bitrate == other.bitrate &&
		       encoder == other.encoder;
	}
	bool operator!=(const Quality &other) const { return !(*this == other); }
};

inline constexpr bool IsBitrateInRange(int32_t kbps)
{
	// Unsigned arithmetic: every value below the minimum, negatives included,
	// wraps above the span, and nothing overflows at the ends of int32.
	return static_cast<uint32_t>(kbps) - static_cast<uint32_t>(min_bitrate_kbps) <=
	       static_cast<uint32_t>(max_bitrate_kbps - min_bitrate_kbps);
}

inline constexpr bool IsOfferedHeight(int32_t height)
{
	return height == height_720p || height == height_1080p;
}

inline constexpr bool IsOfferedFps(int32_t fps)
{
	return fps == fps_30 || fps == fps_60;
}

inline bool IsEncoderId(const std::string &id)
{
	if (id.empty() || id.size() > max_encoder_id_length)
		return false;
	for (char c : id) {
		const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
				  c == '_' || c == '-' || c == '.';
		if (!word)
			return false;
	}
	return true;
}

} // namespace torvane
