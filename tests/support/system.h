#pragma once

// Waits, loopback ports, child processes and work folders for the tests.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace torvane::test {

// How much slower than usual this build runs (TORVANE_E2E_TIME_SCALE, at least
// 1; the ThreadSanitizer preset sets 3). Every timeout and every stretch of
// streaming a test waits for is multiplied by it.
double TimeScale();
std::chrono::milliseconds Scaled(std::chrono::milliseconds duration);
// Polls `done` on this thread until it holds or `timeout` (scaled) has passed.
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
uint16_t FreePort();
bool PortAccepts(uint16_t port);

// A folder named after the running test (before the first test: after the
// filter) under work/ beside the test program; emptied when made, kept
// afterwards for a look at the logs.
std::string TestWorkDir();

// Starts argv with its output appended to `log_path`; the child is killed
// when this process ends, however it ends.
pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path);
// Sends `first`, then SIGKILL after 5 seconds; reaps the child.
void StopChild(pid_t pid, int first);
// Runs a command to its end and returns its standard output; `status` gets
// its exit status (-1 when it did not run or exit).
std::string RunCommand(const std::vector<std::string> &argv, int *status = nullptr);

} // namespace torvane::test
