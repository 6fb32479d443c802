#pragma once

#include "settings/model.h"

#include <obs.hpp>

#include <string>

// The settings document: the JSON form of PanelSettings, built and parsed with
// the host's settings objects. It holds stream keys and passwords in clear and
// so only ever exists in memory; the settings file stores it protected.
namespace torvane {

// A new settings object holding the document of `settings`. Kick servers are
// written completed; `settings` is not changed.
OBSDataAutoRelease SettingsToData(const PanelSettings &settings);

// Reads the document in `json`. On acceptance replaces the whole of `settings`
// and returns true; otherwise leaves `settings` as it was, puts the reason in
// `message` and returns false.
bool SettingsFromData(const char *json, PanelSettings &settings, std::string &message);

} // namespace torvane
