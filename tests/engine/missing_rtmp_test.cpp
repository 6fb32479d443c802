// A host without the RTMP output and service modules: the encoders exist when
// the first destination fails, and the refused start releases them again.
#include "engine/engine.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

using namespace torvane;
using namespace torvane::test;

std::vector<const char *> torvane::test::HostModules()
{
	return {"obs-x264", "obs-ffmpeg", "image-source"};
}

TEST_F(ObsHostTest, StartWithoutRtmpModulesReportsThemAndReleasesTheEncoders)
{
	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(Pair(ClosedLoopbackPort()), error));
	EXPECT_EQ(error, "OBS RTMP modules are unavailable.");
	EXPECT_EQ(multistream.video_encoder, nullptr);
	EXPECT_EQ(multistream.audio_encoder, nullptr);
	EXPECT_TRUE(multistream.runs.empty());
}
