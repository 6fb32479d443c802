#pragma once

#include "settings/model.h"

#include <string>

namespace torvane {

// Checks the shared stream quality alone: the sentence for the first value out
// of range, or an empty text.
std::string ValidateQuality(const PanelSettings &settings);

// Checks the whole configuration before a start. Returns the sentence that
// names the first problem, or an empty text when the settings can start.
std::string ValidateSettings(const PanelSettings &settings);

} // namespace torvane
