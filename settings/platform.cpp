#include "settings/platform.h"

namespace torvane {

Platform ParsePlatform(std::string_view text)
{
	if (text == "YouTube")
		return Platform::YouTube;
	if (text == "Twitch")
		return Platform::Twitch;
	if (text == "Kick")
		return Platform::Kick;
	if (text == "Patreon")
		return Platform::Patreon;
	return Platform::Custom;
}

} // namespace torvane
