#pragma once

#include <obs.h>

#include <memory>

// Scoped ownership of the libobs references the engine only needs for the length
// of one call.
namespace torvane {

struct ObsDataRelease {
	void operator()(obs_data_t *data) const { obs_data_release(data); }
};

using ObsDataPtr = std::unique_ptr<obs_data_t, ObsDataRelease>;

} // namespace torvane
