#pragma once

#include <sys/types.h>

#include <string>

namespace torvane::soak {

// A TCP relay of its own process between one output and its server on
// 127.0.0.1, which the soak tells to misbehave: hold every byte back for a
// while, stop forwarding, or cut every connection.
struct Relay {
	pid_t pid = -1;
	int control = -1; // commands, one per line: "delay MS", "stall", "flow", "cut"
};

// Forks the relay listening on `listen_port` and forwarding to `target_port`;
// call it before libobs starts threads. False with one sentence in `error`.
bool StartRelay(int listen_port, int target_port, Relay &relay, std::string &error);

// Sends one command; false when the relay is gone.
bool SendRelay(const Relay &relay, const std::string &command);

void StopRelay(Relay &relay);

} // namespace torvane::soak
