#pragma once

// Settings the tests stream: custom destinations on loopback ports.
#include "settings/model.h"

#include <string>

namespace torvane::test {

inline PanelSettings Quality(int32_t height, int32_t fps, int32_t bitrate = 4500)
{
	PanelSettings settings;
	settings.height = height;
	settings.fps = fps;
	settings.bitrate = bitrate;
	return settings;
}

// A custom destination for rtmp://127.0.0.1:PORT/app with a key of its own
// ("key-" and the name), so that two of them are never duplicates and a key
// is found wherever it turns up.
inline Destination Loopback(const std::string &name, int port, bool enabled = true)
{
	Destination destination;
	destination.name = name;
	destination.platform = "Custom";
	destination.server = "rtmp://127.0.0.1:" + std::to_string(port) + "/app";
	destination.key = "key-" + name;
	destination.enabled = enabled;
	return destination;
}

inline PanelSettings Single(int port)
{
	PanelSettings settings = Quality(720, 30);
	settings.destinations = {Loopback("single", port)};
	return settings;
}

// Two custom destinations on the same loopback port.
inline PanelSettings Pair(int port)
{
	PanelSettings settings = Quality(1080, 30);
	settings.destinations = {Loopback("one", port), Loopback("two", port)};
	return settings;
}

} // namespace torvane::test
