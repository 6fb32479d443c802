#include "tools/headless/log.h"

#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace torvane::headless {
namespace {

FILE *log_file = nullptr;
std::mutex log_mutex;

void WriteLine(int level, const char *format, va_list args, void *)
{
	std::lock_guard<std::mutex> lock(log_mutex);
	if (!log_file)
		return;
	char line[4096];
	vsnprintf(line, sizeof(line), format, args);
	const char *kind = level <= LOG_ERROR ? "error" : level <= LOG_WARNING ? "warning" : "info";
	fprintf(log_file, "%s: %s\n", kind, line);
	fflush(log_file);
}

} // namespace

bool StartLog(const std::string &path, std::string &error)
{
	if (!path.empty()) {
		FILE *file = fopen(path.c_str(), "w");
		if (!file) {
			error = "The OBS log file " + path + " cannot be written.";
			return false;
		}
		std::lock_guard<std::mutex> lock(log_mutex);
		log_file = file;
	}
	base_set_log_handler(WriteLine, nullptr);
	return true;
}

void StopLog()
{
	base_set_log_handler(nullptr, nullptr);
	std::lock_guard<std::mutex> lock(log_mutex);
	if (log_file) {
		fclose(log_file);
		log_file = nullptr;
	}
}

} // namespace torvane::headless
