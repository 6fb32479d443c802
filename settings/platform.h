#pragma once

#include <string_view>

// The streaming platform a destination was created for, decided once from
// its `platform` text. The text is compared exactly, letter case included;
// any other text is a custom server. (Kick URL completion alone also takes
// "kick" in any letter case; see kick.h.)
namespace torvane {

enum class Platform { YouTube, Twitch, Kick, Patreon, Custom };

Platform ParsePlatform(std::string_view text);

// Whether a platform takes video of a codec ("h264", "hevc", "av1", as OBS
// names them). HEVC and AV1 travel over enhanced RTMP, which YouTube and
// custom servers take; Twitch, Kick and Patreon take H.264 only.
bool PlatformTakesCodec(Platform platform, std::string_view codec);

// The platform's name for a sentence: "Twitch", or "This server" for a
// custom one.
const char *PlatformName(Platform platform);

} // namespace torvane
