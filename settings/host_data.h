#pragma once

#include <obs.h>

#include <memory>

// Owning handles for the host's reference-counted settings objects and for
// strings the host allocates, so that every early return releases them.
namespace torvane {

struct DataRelease {
	void operator()(obs_data_t *data) const { obs_data_release(data); }
};

struct DataArrayRelease {
	void operator()(obs_data_array_t *array) const { obs_data_array_release(array); }
};

struct HostStringFree {
	void operator()(char *text) const { bfree(text); }
};

using DataRef = std::unique_ptr<obs_data_t, DataRelease>;
using DataArrayRef = std::unique_ptr<obs_data_array_t, DataArrayRelease>;
using HostString = std::unique_ptr<char, HostStringFree>;

} // namespace torvane
