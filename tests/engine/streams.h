#pragma once

#include "engine/engine.h"
#include "settings/model.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

#include <obs.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>

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

inline bool WaitForState(const MultistreamEngine &multistream, uint64_t index, DestinationState state)
{
	return WaitFor([&] { return multistream.GetStats(index).state == uint32_t(state); });
}

// Waits until no run is still connecting, so that an engine is not torn down
// while libobs's connect threads are finishing.
inline bool Settle(const MultistreamEngine &multistream)
{
	return WaitFor([&] {
		for (const auto &run : multistream.runs) {
			if (run->state.load() == uint32_t(DestinationState::Connecting))
				return false;
		}
		return true;
	});
}

// Raises one of an output's signals from another thread, as the output's own
// threads do. With `code`, the call data carries it as the integer "code".
inline void EmitFromOtherThread(obs_output_t *output, const char *signal, std::optional<long long> code = {})
{
	std::thread thread([=] {
		calldata_t data = {};
		calldata_set_ptr(&data, "output", output);
		if (code)
			calldata_set_int(&data, "code", *code);
		signal_handler_signal(obs_output_get_signal_handler(output), signal, &data);
		calldata_free(&data);
	});
	thread.join();
}

inline const char *TextOf(const MultistreamEngine &multistream, uint64_t index)
{
	const DestinationStats stats = multistream.GetStats(index);
	return DestinationStateText(stats.state, stats.last_code);
}

} // namespace torvane::test
