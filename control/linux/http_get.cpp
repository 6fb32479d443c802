#include "control/relay_watch.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstring>

namespace torvane {

namespace {

// Waits for `events` on `fd` until `deadline`.
bool Ready(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
	const auto left =
		std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
	pollfd entry{fd, events, 0};
	return left.count() > 0 && poll(&entry, 1, static_cast<int>(left.count())) == 1;
}

} // namespace

bool HttpGet(const std::string &host, uint16_t port, const std::string &path, std::string &body, int timeout_ms)
{
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
	addrinfo hints{}, *found = nullptr;
	hints.ai_socktype = SOCK_STREAM;
	if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
		return false;
	int fd = -1;
	for (addrinfo *at = found; at && fd < 0; at = at->ai_next) {
		fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
		if (fd >= 0 && connect(fd, at->ai_addr, at->ai_addrlen) != 0 &&
		    !(errno == EINPROGRESS && Ready(fd, POLLOUT, deadline))) {
			close(fd);
			fd = -1;
		}
	}
	freeaddrinfo(found);
	if (fd < 0)
		return false;
	int error = 0;
	socklen_t size = sizeof(error);
	const std::string request = HttpGetRequest(host, path);
	bool sent = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0 &&
		    send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
	std::string answer;
	char buffer[4096];
	ssize_t got = 0;
	while (sent && answer.size() < http_answer_limit && Ready(fd, POLLIN, deadline) &&
	       (got = recv(fd, buffer, sizeof(buffer), 0)) > 0)
		answer.append(buffer, size_t(got));
	close(fd);
	return sent && got == 0 && HttpAnswerBody(answer, body);
}

} // namespace torvane
