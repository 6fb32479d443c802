#pragma once

#include "settings/model.h"

#include <string>

namespace torvane {

// The server a destination streams to. For a Kick destination (platform "kick"
// in any letter case, the one place where the platform text is not compared
// exactly) whose server is a bare Kick ingest host, the full form
// rtmps://host:443/app; for every other destination its server unchanged.
std::string CompleteKickServer(const Destination &destination);

} // namespace torvane
