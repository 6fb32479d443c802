#pragma once

#include "settings/model.h"

#include <cstddef>
#include <functional>
#include <string>

namespace torvane {

// Checks one quality: the sentence for the first value out of range, or an
// empty text. With settings, the shared quality and then every destination's
// own, whether ticked or not: nothing is saved that a load would refuse.
std::string ValidateQuality(const Quality &quality);
std::string ValidateQuality(const PanelSettings &settings);

// Checks the whole configuration before a start. Returns the sentence that
// names the first problem, or an empty text when the settings can start.
std::string ValidateSettings(const PanelSettings &settings);

// The same checks for the destinations `included` names by position, whether
// ticked or not; "Enable at least one destination using its checkbox." when
// it names none.
std::string ValidateSelection(const PanelSettings &settings, const std::function<bool(size_t)> &included);

} // namespace torvane
