#include "tests/support/host.h"

#include "tests/support/system.h"

#include <thread>

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

void Emit(obs_output_t *output, const char *signal, std::optional<long long> code)
{
	std::thread([=] {
		calldata_t data = {};
		if (code)
			calldata_set_int(&data, "code", *code);
		signal_handler_signal(obs_output_get_signal_handler(output), signal, &data);
		calldata_free(&data);
	}).join();
}

void ObsHostTest::SetUp()
{
	ResetHostVideo(HostVideo());
	ResetHostAudio(HostAudio());
}

} // namespace torvane::test
