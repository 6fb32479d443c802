#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace torvane::soak {

// Starts `argv` with its output appended to `log_path` and none of this
// process's descriptors: a server must never hold an output's socket open.
// Returns the PID, or -1.
pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path);

// Runs `argv` to its end; its exit status, or -1.
int RunCommand(const std::vector<std::string> &argv, const std::string &log_path);

// Sends `signal` and reaps the process, SIGKILL after `grace_seconds`.
void EndProcess(pid_t pid, int signal, double grace_seconds);

// True once something accepts connections on 127.0.0.1:port.
bool WaitPort(int port, double seconds);

// An nginx with the configuration the soak script wrote into `dir`.
struct Server {
	std::string dir;
	int port = 0;
	pid_t pid = -1;
};

bool StartServer(Server &server);

// What this process holds now.
struct Footprint {
	long resident_kib = 0;
	int threads = 0;
	int descriptors = 0;
};
Footprint MeasureFootprint();

} // namespace torvane::soak
