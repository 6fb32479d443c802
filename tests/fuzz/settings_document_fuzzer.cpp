// Feeds arbitrary text to the settings document reader: it must accept or
// refuse with one of its two sentences, never crash, and leave the target
// untouched when it refuses.
#include "settings/document.h"
#include "settings/model.h"

#include <util/base.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Quiet(int, const char *, va_list, void *) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	base_set_log_handler(Quiet, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string text(reinterpret_cast<const char *>(data), size);
	torvane::PanelSettings settings;
	settings.bitrate = 1234;
	std::string message;
	if (!torvane::SettingsFromData(text.c_str(), settings, message)) {
		if (message != "Unsupported settings version. The file has been left untouched." &&
		    message != "Invalid settings. The file has been left untouched.")
			std::abort();
		if (settings.bitrate != 1234 || !settings.destinations.empty())
			std::abort();
	} else if (settings.destinations.size() > 1000 || settings.bitrate < 1000 || settings.bitrate > 8000) {
		std::abort();
	}
	return 0;
}
