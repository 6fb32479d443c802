#pragma once

// Settings the tests stream: custom destinations on loopback ports.
#include "settings/model.h"

#include <string>

namespace torvane::test {

inline PanelSettings Quality(int32_t height, int32_t fps, int32_t bitrate = 4500)
{
	return PanelSettings{bitrate, height, fps, {}};
}

// A custom destination for rtmp://127.0.0.1:PORT/app with a key of its own
// ("key-" and the name), so that two of them are never duplicates and a key
// is found wherever it turns up.
inline Destination Loopback(const std::string &name, int port, bool enabled = true)
{
	return Destination{name, "Custom", "rtmp://127.0.0.1:" + std::to_string(port) + "/app", "key-" + name, "", "",
			   enabled};
}

inline PanelSettings Single(int port)
{
	return PanelSettings{4500, 720, 30, {Loopback("single", port)}};
}

// Two custom destinations on the same loopback port.
inline PanelSettings Pair(int port)
{
	return PanelSettings{4500, 1080, 30, {Loopback("one", port), Loopback("two", port)}};
}

} // namespace torvane::test
