#include "engine/engine.h"

// Placeholder bodies until the engine lands: nothing can start, so there is
// never anything to stop or release.
namespace torvane {

MultistreamEngine engine;

MultistreamEngine::~MultistreamEngine()
{
	StopAndRelease();
}

bool MultistreamEngine::StartAll(const PanelSettings &, std::string &error)
{
	error = "OBS RTMP modules are unavailable.";
	return false;
}

void MultistreamEngine::RequestStopAll() {}

void MultistreamEngine::StopAndRelease() {}

bool MultistreamEngine::IsBusy() const
{
	return false;
}

DestinationStats MultistreamEngine::GetStats(uint64_t) const
{
	return DestinationStats();
}

EncodedSize ScaledOutputSize(uint32_t, uint32_t, int32_t)
{
	return EncodedSize();
}

uint32_t FrameRateDivisor(uint32_t, uint32_t, int32_t)
{
	return 1;
}

const char *DestinationStateText(uint32_t, int32_t)
{
	return "Ready";
}

void OnOutputActive(void *, calldata_t *) {}
void OnOutputReconnecting(void *, calldata_t *) {}
void OnOutputStopped(void *, calldata_t *) {}

void ReleaseRun(DestinationRun *run)
{
	delete run;
}

} // namespace torvane
