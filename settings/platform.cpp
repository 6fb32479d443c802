#include "settings/platform.h"

#include "settings/texts.h"

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

bool PlatformTakesCodec(Platform platform, std::string_view codec)
{
	if (codec == "h264")
		return true;
	return (codec == "hevc" || codec == "av1") && (platform == Platform::YouTube || platform == Platform::Custom);
}

const char *PlatformName(Platform platform)
{
	switch (platform) {
	case Platform::YouTube:
		return "YouTube";
	case Platform::Twitch:
		return "Twitch";
	case Platform::Kick:
		return "Kick";
	case Platform::Patreon:
		return "Patreon";
	case Platform::Custom:
		break;
	}
	return Tr(Txt::CustomServer);
}

} // namespace torvane
