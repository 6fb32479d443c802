// A host without x264, or without the RTMP output and service modules (whose
// check comes once both encoders exist): the start names what is missing and
// leaves no encoder and no record behind.
#include "engine/engine.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

using namespace torvane;
using namespace torvane::test;

TEST_F(ObsHostTest, StartWithoutAModuleNamesItAndLeavesNothing)
{
	const bool x264 = obs_encoder_get_display_name("obs_x264") != nullptr;
	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(Pair(FreePort()), error));
	EXPECT_EQ(error,
		  x264 ? "OBS RTMP modules are unavailable."
		       : "OBS x264 or AAC encoder is unavailable. Install the standard OBS Studio distribution.");
	EXPECT_TRUE(multistream.groups.empty() && !multistream.audio_encoder && multistream.runs.empty());
}
