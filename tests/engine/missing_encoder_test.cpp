// A host without the x264 module: the audio encoder is made, the video encoder
// is not, and the refused start leaves nothing behind.
#include "engine/engine.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

using namespace torvane;
using namespace torvane::test;

std::vector<const char *> torvane::test::HostModules()
{
	return {"obs-ffmpeg", "obs-outputs", "rtmp-services", "image-source"};
}

TEST_F(ObsHostTest, StartWithoutX264ReportsTheMissingEncoderAndStaysIdle)
{
	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(Single(ClosedLoopbackPort()), error));
	EXPECT_EQ(error, "OBS x264 or AAC encoder is unavailable. Install the standard OBS Studio distribution.");
	EXPECT_EQ(multistream.audio_encoder, nullptr);
	EXPECT_TRUE(multistream.runs.empty());
}
