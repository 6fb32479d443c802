#include "tests/support/host.h"

// Everything a multistream needs.
std::vector<const char *> torvane::test::HostModules()
{
	return {"obs-x264", "obs-ffmpeg", "obs-outputs", "rtmp-services", "image-source"};
}
