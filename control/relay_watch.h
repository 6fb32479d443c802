#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Reads the relay's statistics page on a thread of its own, so that a slow or
// unreachable relay never holds up the host's UI thread.
namespace torvane {

// One HTTP/1.0 GET of http://host:port/path: the body of a 200 answer, read
// within `timeout_ms`, or false. Plain sockets; one file per platform.
bool HttpGet(const std::string &host, uint16_t port, const std::string &path, std::string &body, int timeout_ms);

// What both platforms' HttpGet share: the request, the most of an answer that
// is read, and the body of a whole 200 answer (false for anything else).
std::string HttpGetRequest(const std::string &host, const std::string &path);
inline constexpr size_t http_answer_limit = 1u << 20;
bool HttpAnswerBody(const std::string &answer, std::string &body);

struct RelayWatch {
	RelayWatch() = default;
	RelayWatch(const RelayWatch &) = delete;
	RelayWatch &operator=(const RelayWatch &) = delete;
	~RelayWatch();

	// Asks for a fresh read unless one is under way; returns at once.
	void Request(const std::string &host, uint16_t port, const std::string &path);
	// The last page read, or an empty text when the last read failed.
	std::string Page() const;
	// Forgets the last page: a new run starts without it.
	void Clear();

private:
	void Run();

	mutable std::mutex mutex;
	std::condition_variable wake;
	std::thread worker;
	bool stopping = false;
	bool pending = false;
	std::string host, path, page;
	uint16_t port = 0;
};

} // namespace torvane
