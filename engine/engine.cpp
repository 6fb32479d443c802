#include "engine/engine.h"

namespace torvane {

MultistreamEngine engine;

MultistreamEngine::~MultistreamEngine()
{
	StopAndRelease();
}

void MultistreamEngine::StopAndRelease()
{
	// Nothing is started yet, so there is nothing to release.
}

} // namespace torvane
