#pragma once

// The headless host under GoogleTest.
#include "tools/headless/host.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace torvane::test {

// Starts the headless host with its OBS log (obs.log) and module
// configuration in `work_dir`, on a private Xvfb when DISPLAY is unset. False,
// with the reason added as a test failure, when it cannot.
bool StartTestHost(const std::string &work_dir, HostOptions options = HostOptions());

// Puts the host's video or audio into this state, waiting out encoders of an
// earlier test that are still winding down.
void ResetHostVideo(const HostVideo &video);
void ResetHostAudio(const HostAudio &audio);

// Raises one of an output's signals from another thread, as the output's own
// threads do, with `code` as the call data's "code".
void Emit(obs_output_t *output, const char *signal, std::optional<long long> code = {});

// Each test starts from the host's default video and audio.
class ObsHostTest : public testing::Test {
protected:
	void SetUp() override;
};

} // namespace torvane::test
