#pragma once

#include <string>

namespace torvane::headless {

// Sends libobs's log to the file at `path`, one line per message with its
// level, until StopLog; an empty path discards it. False with one sentence
// when the file cannot be written.
bool StartLog(const std::string &path, std::string &error);
void StopLog();

} // namespace torvane::headless
