#pragma once

// Settings the tests stream, custom destinations on loopback ports, and the
// text a destination's row shows for its run record.
#include "engine/engine.h"
#include "settings/model.h"

#include <string>

namespace torvane::test {

inline PanelSettings SharedAt(int32_t height, int32_t fps, int32_t bitrate = 4500)
{
	return PanelSettings{bitrate, height, fps, {}};
}

// A custom destination for rtmp://127.0.0.1:PORT/app with a key of its own
// ("key-" and the name), so that two of them are never duplicates and a key
// is found wherever it turns up.
inline Destination Loopback(const std::string &name, int port, bool enabled = true)
{
	return Destination{name, "Custom", "rtmp://127.0.0.1:" + std::to_string(port) + "/app", "key-" + name, "",
			   "",   enabled};
}

inline PanelSettings Single(int port)
{
	return PanelSettings{4500, 720, 30, {Loopback("single", port)}};
}

inline PanelSettings Pair(int port)
{
	return PanelSettings{4500, 1080, 30, {Loopback("one", port), Loopback("two", port)}};
}

// A run record without an output, as a failed start leaves behind.
inline void AddRun(MultistreamEngine &engine, uint64_t index, DestinationState state, int32_t code = 0)
{
	auto run = std::make_unique<DestinationRun>();
	run->destination_index = index;
	run->state = state;
	run->last_code = code;
	engine.runs.push_back(std::move(run));
}

inline std::string TextOf(const MultistreamEngine &engine, uint64_t index)
{
	const DestinationStats stats = engine.GetStats(index);
	return DestinationStateText(stats.state, stats.last_code);
}

} // namespace torvane::test
