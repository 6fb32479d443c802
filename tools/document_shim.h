#pragma once

#include "settings/model.h"

#include <string>

// Stand-in for the settings document reader until it lands in settings/.
namespace torvane {

bool SettingsFromData(const char *json, PanelSettings &settings, std::string &message);

} // namespace torvane
