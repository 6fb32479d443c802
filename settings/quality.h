#pragma once

#include <cstdint>

// The stream quality that every destination shares, and the encoder settings
// that go with it. Validation, the settings document, the start and the panel
// all take their limits from here.
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

} // namespace torvane
