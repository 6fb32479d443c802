#include "control/relay_watch.h"

namespace torvane {

namespace {
constexpr int read_timeout_ms = 2000;
}

std::string HttpGetRequest(const std::string &host, const std::string &path)
{
	return "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
}

bool HttpAnswerBody(const std::string &answer, std::string &body)
{
	// "HTTP/1.x 200 ...": a shorter answer is no answer (and never read past).
	const size_t head_end = answer.find("\r\n\r\n");
	if (head_end == std::string::npos || head_end < 13 || answer.compare(8, 5, " 200 ") != 0)
		return false;
	body = answer.substr(head_end + 4);
	return true;
}

RelayWatch::~RelayWatch()
{
	{
		std::lock_guard<std::mutex> lock(mutex);
		stopping = true;
	}
	wake.notify_all();
	if (worker.joinable())
		worker.join();
}

void RelayWatch::Request(const std::string &to_host, uint16_t to_port, const std::string &to_path)
{
	std::lock_guard<std::mutex> lock(mutex);
	if (pending)
		return;
	host = to_host;
	port = to_port;
	path = to_path;
	pending = true;
	if (!worker.joinable())
		worker = std::thread([this] { Run(); });
	wake.notify_all();
}

std::string RelayWatch::Page() const
{
	std::lock_guard<std::mutex> lock(mutex);
	return page;
}

void RelayWatch::Clear()
{
	std::lock_guard<std::mutex> lock(mutex);
	page.clear();
}

void RelayWatch::Run()
{
	std::unique_lock<std::mutex> lock(mutex);
	for (;;) {
		wake.wait(lock, [this] { return stopping || pending; });
		if (stopping)
			return;
		const std::string to_host = host, to_path = path;
		const uint16_t to_port = port;
		lock.unlock();
		std::string body;
		const bool read = HttpGet(to_host, to_port, to_path, body, read_timeout_ms);
		lock.lock();
		page = read ? std::move(body) : std::string();
		pending = false;
	}
}

} // namespace torvane
