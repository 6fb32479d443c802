#include "settings/model.h"

#include "settings/config.h"

namespace torvane {

static Destination Preset(const char *platform, std::string server)
{
	Destination d;
	d.name = platform;
	d.platform = platform;
	d.server = std::move(server);
	return d;
}

PanelSettings DefaultSettings()
{
	PanelSettings s;
	s.bitrate = default_bitrate_kbps;
	s.height = height_1080p;
	s.fps = fps_30;
	s.destinations.push_back(Preset("YouTube", std::string("rtmps://") + youtube_ingest_host + ":443/live2"));
	s.destinations.push_back(Preset("Twitch", std::string("rtmp://") + twitch_ingest_host + "/app"));
	s.destinations.push_back(Preset("Kick", ""));
	s.destinations.push_back(Preset("Patreon", ""));
	return s;
}

Quality SharedQuality(const PanelSettings &settings)
{
	return Quality{settings.height, settings.fps, settings.bitrate, settings.encoder};
}

Quality QualityOf(const PanelSettings &settings, const Destination &destination)
{
	Quality quality = SharedQuality(settings);
	if (const std::optional<OwnQuality> &own = destination.quality) {
		if (own->height)
			quality.height = own->height;
		if (own->fps)
			quality.fps = own->fps;
		if (own->bitrate)
			quality.bitrate = own->bitrate;
		if (!own->encoder.empty())
			quality.encoder = own->encoder;
	}
	return quality;
}

const char *PictureKindName(PictureKind kind)
{
	switch (kind) {
	case PictureKind::Scene:
		return "scene";
	case PictureKind::Vertical:
		return "vertical";
	case PictureKind::Program:
		break;
	}
	return "program";
}

Destination MakeCustomDestination(size_t count)
{
	Destination d;
	d.name = "Custom " + std::to_string(static_cast<unsigned long long>(count) + 1);
	d.platform = "Custom";
	return d;
}

} // namespace torvane
