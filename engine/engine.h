#pragma once

namespace torvane {

// The streaming engine: one shared encode fanned out to an RTMP output per
// enabled destination. Idle until a start.
struct MultistreamEngine {
	MultistreamEngine() = default;
	MultistreamEngine(const MultistreamEngine &) = delete;
	MultistreamEngine &operator=(const MultistreamEngine &) = delete;
	~MultistreamEngine();

	// Force-stops and releases every output, service and encoder.
	void StopAndRelease();
};

// The module's one engine.
extern MultistreamEngine engine;

} // namespace torvane
