#pragma once

#include <string>

// What a command answers: a stable code that scripts can act on, and the
// sentence that the user reads.
namespace torvane {

// Each value's name in obs-websocket answers is in RefusalCode; values are
// only ever added.
enum class Refusal {
	None,
	SettingsUnusable,  // the settings file could not be read: nothing is saved until the next load
	InvalidSettings,   // a destination or the quality fails its rules
	SaveFailed,        // the file could not be written
	StartFailed,       // the engine refused or nothing could start
	Busy,              // a stream is still running or stopping
	NotStreaming,      // a stop of a destination that is not streaming
	NoSuchDestination, // an index outside the list
	NeedsIndex,        // a request without a whole-number index
	TooManyDestinations,
	NoSuchRequest,
	RequestInFrame,    // an acting request inside a SerialFrame batch
	RequestNotTaken,   // OBS's main thread did not take the request in time
	RequestUnfinished, // taken, but not finished in time
	RequestAtExit,     // OBS is closing
	RelayOn,           // a single destination's start or stop while the relay sends them all
};

struct Outcome {
	Refusal code = Refusal::None;
	std::string sentence;

	bool Ok() const { return code == Refusal::None; }
};

// "ok", "settings_unusable", "invalid_settings", ...
const char *RefusalCode(Refusal code);

} // namespace torvane
