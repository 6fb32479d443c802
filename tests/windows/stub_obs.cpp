// Stands in for obs.dll: records log lines.
#include <obs.h>

#include "stub_host.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct LogLine {
	int level;
	std::string text;
};

std::vector<LogLine> log_lines;

} // namespace

void blog(int log_level, const char *format, ...)
{
	char buffer[4096];
	va_list args;
	va_start(args, format);
	vsnprintf(buffer, sizeof(buffer), format, args);
	va_end(args);
	log_lines.push_back({log_level, buffer});
}

void stub_obs_reset_outputs(void);

void stub_obs_reset(void)
{
	log_lines.clear();
	stub_obs_reset_outputs();
}

int stub_obs_log_count(void)
{
	return static_cast<int>(log_lines.size());
}

int stub_obs_log_level(int index)
{
	return log_lines.at(index).level;
}

const char *stub_obs_log_text(int index)
{
	return log_lines.at(index).text.c_str();
}
