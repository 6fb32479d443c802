#pragma once

#include <string_view>

// The streaming platform a destination was created for, decided once from
// its `platform` text. The text is compared exactly, letter case included;
// any other text is a custom server. (Kick URL completion alone also takes
// "kick" in any letter case; see kick.h.)
namespace torvane {

enum class Platform { YouTube, Twitch, Kick, Patreon, Custom };

Platform ParsePlatform(std::string_view text);

} // namespace torvane
