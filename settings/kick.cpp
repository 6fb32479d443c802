#include "settings/kick.h"

namespace torvane {

// Placeholder until the completion lands: every server is used as stored.
std::string CompleteKickServer(const Destination &destination)
{
	return destination.server;
}

} // namespace torvane
