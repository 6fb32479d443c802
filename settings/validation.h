#pragma once

#include "settings/model.h"

#include <string>

namespace torvane {

// Checks the whole configuration before a start. Returns the sentence that
// names the first problem, or an empty text when the settings can start.
std::string ValidateSettings(const PanelSettings &settings);

} // namespace torvane
