#pragma once

#include "tools/headless/host.h"

#include <string>

namespace torvane {

// What `torvane stream` was asked for on its command line.
struct StreamOptions {
	std::string path;
	double seconds = 0; // 0: until interrupted
	HostOptions host;
};

// Parses the arguments after "stream". False with one sentence on bad usage.
bool ParseStreamOptions(int argc, char **argv, StreamOptions &options, std::string &error);

} // namespace torvane
