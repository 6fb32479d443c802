#include "tools/soak/relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace torvane::soak {
namespace {

constexpr size_t queue_limit = 4 << 20; // bytes held per direction before reading pauses

uint64_t NowMs()
{
	return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
					     std::chrono::steady_clock::now().time_since_epoch())
					     .count());
}

struct Chunk {
	uint64_t due_ms;
	std::string bytes;
	size_t sent = 0;
};

// One direction of one connection: what was read from `from` and waits to be
// written to `to`.
struct Flow {
	int from = -1, to = -1;
	std::deque<Chunk> queue;
	size_t queued = 0;
};

struct Link {
	Flow up, down; // client to server, server to client
	bool dead = false;

	~Link()
	{
		close(up.from);
		close(up.to);
	}
};

struct RelayState {
	uint64_t delay_ms = 0;
	bool stalled = false;
	std::vector<std::unique_ptr<Link>> links;
};

sockaddr_in Loopback(int port)
{
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_port = htons(static_cast<uint16_t>(port));
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	return address;
}

void Accept(int listener, int target_port, RelayState &state)
{
	int client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
	if (client < 0)
		return;
	int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = Loopback(target_port);
	if (server < 0 || connect(server, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
		close(client);
		if (server >= 0)
			close(server);
		return;
	}
	fcntl(server, F_SETFL, fcntl(server, F_GETFL) | O_NONBLOCK);
	auto link = std::make_unique<Link>();
	link->up.from = link->down.to = client;
	link->up.to = link->down.from = server;
	state.links.push_back(std::move(link));
}

// Reads what `flow.from` has; false when it closed or failed.
bool ReadFlow(Flow &flow, uint64_t delay_ms)
{
	char buffer[65536];
	ssize_t got = read(flow.from, buffer, sizeof(buffer));
	if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
		return false;
	if (got > 0) {
		flow.queue.push_back({NowMs() + delay_ms, std::string(buffer, static_cast<size_t>(got))});
		flow.queued += static_cast<size_t>(got);
	}
	return true;
}

// Writes the chunks that are due; false, dropping the rest, when `flow.to`
// failed.
bool WriteFlow(Flow &flow)
{
	uint64_t now = NowMs();
	while (!flow.queue.empty() && flow.queue.front().due_ms <= now) {
		Chunk &chunk = flow.queue.front();
		ssize_t put = write(flow.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent);
		if (put < 0 && errno != EAGAIN && errno != EINTR) {
			flow.queue.clear();
			flow.queued = 0;
			return false;
		}
		if (put < 0)
			return true;
		chunk.sent += static_cast<size_t>(put);
		if (chunk.sent < chunk.bytes.size())
			return true;
		flow.queued -= chunk.bytes.size();
		flow.queue.pop_front();
	}
	return true;
}

void Command(const std::string &line, RelayState &state)
{
	if (line.rfind("delay ", 0) == 0)
		state.delay_ms = std::strtoull(line.c_str() + 6, nullptr, 10);
	else if (line == "stall")
		state.stalled = true;
	else if (line == "flow")
		state.stalled = false;
	else if (line == "cut")
		state.links.clear();
}

[[noreturn]] void Serve(int listener, int control, int target_port)
{
	prctl(PR_SET_PDEATHSIG, SIGKILL);
	signal(SIGPIPE, SIG_IGN);
	RelayState state;
	std::string pending;
	for (;;) {
		std::vector<pollfd> fds = {{control, POLLIN, 0}, {listener, POLLIN, 0}};
		uint64_t now = NowMs(), next_due = now + 100;
		for (auto &link : state.links) {
			for (Flow *flow : {&link->up, &link->down}) {
				short events = 0;
				if (!state.stalled && !link->dead && flow->queued < queue_limit)
					events |= POLLIN;
				fds.push_back({flow->from, events, 0});
				if (!state.stalled && !flow->queue.empty()) {
					if (flow->queue.front().due_ms <= now)
						fds.push_back({flow->to, POLLOUT, 0});
					else
						next_due = std::min(next_due, flow->queue.front().due_ms);
				}
			}
		}
		poll(fds.data(), fds.size(), static_cast<int>(next_due > now ? next_due - now : 0));

		if (fds[0].revents) {
			char buffer[256];
			ssize_t got = read(control, buffer, sizeof(buffer));
			if (got <= 0)
				_exit(0); // the soak is gone
			pending.append(buffer, static_cast<size_t>(got));
			for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
				Command(pending.substr(0, end), state);
				pending.erase(0, end + 1);
			}
		}
		if (fds[1].revents & POLLIN)
			Accept(listener, target_port, state);
		for (auto &link : state.links) {
			for (Flow *flow : {&link->up, &link->down}) {
				if (!state.stalled && !link->dead && flow->queued < queue_limit &&
				    !ReadFlow(*flow, state.delay_ms))
					link->dead = true;
				if (!state.stalled && !WriteFlow(*flow))
					link->dead = true;
			}
		}
		// A side that closed ends the connection once what it sent is delivered.
		for (size_t i = 0; i < state.links.size();) {
			Link &link = *state.links[i];
			if (link.dead && (state.stalled || (link.up.queue.empty() && link.down.queue.empty())))
				state.links.erase(state.links.begin() + static_cast<std::ptrdiff_t>(i));
			else
				i++;
		}
	}
}

} // namespace

bool StartRelay(int listen_port, int target_port, Relay &relay, std::string &error)
{
	int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	int one = 1;
	setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
	sockaddr_in address = Loopback(listen_port);
	int control[2];
	if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
	    listen(listener, 8) != 0 || pipe2(control, O_CLOEXEC) != 0) {
		error = "The relay cannot listen on port " + std::to_string(listen_port) + ": " + strerror(errno) + ".";
		if (listener >= 0)
			close(listener);
		return false;
	}
	pid_t pid = fork();
	if (pid == 0) {
		close(control[1]);
		Serve(listener, control[0], target_port);
	}
	close(listener);
	close(control[0]);
	if (pid < 0) {
		close(control[1]);
		error = "The relay cannot be started.";
		return false;
	}
	relay.pid = pid;
	relay.control = control[1];
	return true;
}

bool SendRelay(const Relay &relay, const std::string &command)
{
	std::string line = command + "\n";
	return write(relay.control, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

void StopRelay(Relay &relay)
{
	if (relay.control >= 0)
		close(relay.control); // the relay exits on the end of its commands
	if (relay.pid > 0)
		waitpid(relay.pid, nullptr, 0);
	relay = Relay();
}

} // namespace torvane::soak
