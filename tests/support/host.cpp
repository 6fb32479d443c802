#include "tests/support/host.h"

#include "tests/support/system.h"

namespace torvane::test {

bool StartTestHost(const std::string &work_dir, HostOptions options)
{
	options.config_dir = work_dir + "/obs-config";
	options.log_path = work_dir + "/obs.log";
	options.private_display = true;
	std::string error;
	if (StartHeadlessHost(options, error))
		return true;
	ADD_FAILURE() << error;
	return false;
}

void ResetHostVideo(const HostVideo &video)
{
	std::string error;
	EXPECT_TRUE(WaitFor([&] { return torvane::ResetHostVideo(video, error); })) << error;
}

void ResetHostAudio(const HostAudio &audio)
{
	std::string error;
	EXPECT_TRUE(WaitFor([&] { return torvane::ResetHostAudio(audio, error); })) << error;
}

void ObsHostTest::SetUp()
{
	ResetHostVideo(HostVideo());
	ResetHostAudio(HostAudio());
}

} // namespace torvane::test
