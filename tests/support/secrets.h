#pragma once

#include "settings/model.h"

#include <string>

namespace torvane::test {

// Fails the test for every stream key, username's password or other secret of
// `settings` that appears in the file at `path` (an OBS log, a tool's output).
void ExpectNoSecretsIn(const std::string &path, const PanelSettings &settings);

} // namespace torvane::test
