#pragma once

#include <string>

namespace torvane::headless {

// Registers the tone source type; once per libobs start.
void RegisterToneSource();

// Puts a new 440 Hz tone on the program output's audio channel. A source
// resamples for the mix it was created with, so after an audio reset the tone
// is started again.
bool StartTone(std::string &error);
void StopTone();

} // namespace torvane::headless
