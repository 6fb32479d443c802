#include "control/relay_watch.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace torvane {

namespace {

// Winsock, started once for the process and left running.
bool WinsockStarted()
{
	static const bool started = [] {
		WSADATA data;
		return WSAStartup(MAKEWORD(2, 2), &data) == 0;
	}();
	return started;
}

} // namespace

bool HttpGet(const std::string &host, uint16_t port, const std::string &path, std::string &body, int timeout_ms)
{
	addrinfo hints{}, *found = nullptr;
	hints.ai_socktype = SOCK_STREAM;
	if (!WinsockStarted() || getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
		return false;
	SOCKET fd = INVALID_SOCKET;
	for (addrinfo *at = found; at && fd == INVALID_SOCKET; at = at->ai_next) {
		fd = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
		if (fd == INVALID_SOCKET)
			continue;
		// The connection is made without blocking, waiting at most the timeout.
		u_long nonblocking = 1;
		ioctlsocket(fd, FIONBIO, &nonblocking);
		fd_set writable, failed;
		FD_ZERO(&writable);
		FD_SET(fd, &writable);
		failed = writable;
		timeval wait{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
		const bool connected =
			(connect(fd, at->ai_addr, int(at->ai_addrlen)) == 0 || WSAGetLastError() == WSAEWOULDBLOCK) &&
			select(0, nullptr, &writable, &failed, &wait) == 1 && FD_ISSET(fd, &writable);
		nonblocking = 0;
		ioctlsocket(fd, FIONBIO, &nonblocking);
		if (!connected) {
			closesocket(fd);
			fd = INVALID_SOCKET;
		}
	}
	freeaddrinfo(found);
	if (fd == INVALID_SOCKET)
		return false;
	const DWORD timeout = DWORD(timeout_ms);
	setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
	setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&timeout), sizeof(timeout));
	const std::string request = HttpGetRequest(host, path);
	const bool sent = send(fd, request.data(), int(request.size()), 0) == int(request.size());
	std::string answer;
	char buffer[4096];
	int got = 0;
	while (sent && answer.size() < http_answer_limit && (got = recv(fd, buffer, sizeof(buffer), 0)) > 0)
		answer.append(buffer, size_t(got));
	closesocket(fd);
	return sent && got == 0 && HttpAnswerBody(answer, body);
}

} // namespace torvane
