#pragma once

#include "engine/engine.h"
#include "settings/model.h"

#include <obs.h>

#include <memory>
#include <string>

// Settings and references the engine tests share.
namespace torvane::test {

template<typename T, void (*Release)(T *)>
struct ReleaseWith {
	void operator()(T *object) const { Release(object); }
};
using ObsData = std::unique_ptr<obs_data_t, ReleaseWith<obs_data_t, obs_data_release>>;
using ObsOutput = std::unique_ptr<obs_output_t, ReleaseWith<obs_output_t, obs_output_release>>;
using ObsEncoder = std::unique_ptr<obs_encoder_t, ReleaseWith<obs_encoder_t, obs_encoder_release>>;
using ObsWeakOutput = std::unique_ptr<obs_weak_output_t, ReleaseWith<obs_weak_output_t, obs_weak_output_release>>;
using ObsWeakEncoder = std::unique_ptr<obs_weak_encoder_t, ReleaseWith<obs_weak_encoder_t, obs_weak_encoder_release>>;

inline PanelSettings Quality(int32_t height, int32_t fps, int32_t bitrate = 4500)
{
	PanelSettings settings;
	settings.height = height;
	settings.fps = fps;
	settings.bitrate = bitrate;
	return settings;
}

// A custom destination on a loopback port, with a key of its own so that two
// of them are never duplicates.
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

bool WaitForState(const MultistreamEngine &multistream, uint64_t index, DestinationState state);

// Waits until no run is still connecting, so that an engine is not torn down
// while libobs's connect threads are finishing.
bool Settle(const MultistreamEngine &multistream);

inline const char *TextOf(const MultistreamEngine &multistream, uint64_t index)
{
	const DestinationStats stats = multistream.GetStats(index);
	return DestinationStateText(stats.state, stats.last_code);
}

} // namespace torvane::test
