// Feeds arbitrary bytes as the settings file to the loader, with a plain
// protection back end so that the container, the protection step and the
// document are all reached: every outcome is a success within the limits or
// one of the load sentences, a refused file leaving the settings untouched.
#include "settings/file_ops.h"
#include "settings/protection.h"
#include "settings/store.h"

#include <util/base.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

const uint8_t *file_data = nullptr;
size_t file_size = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	base_set_log_handler([](int, const char *, va_list, void *) {}, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static const torvane::FileOps files = [] {
		torvane::FileOps ops = torvane::platform_file_ops; // the file is `data`, always there
		ops.is_missing = [](const std::u16string &) {
			return false;
		};
		ops.open_read = [](const std::u16string &) {
			return torvane::FileHandle(1);
		};
		ops.size = [](torvane::FileHandle) {
			return int64_t(file_size);
		};
		ops.read_all = [](torvane::FileHandle, uint8_t *buffer, size_t wanted) {
			return wanted == file_size && (!wanted || std::memcpy(buffer, file_data, wanted));
		};
		ops.close = [](torvane::FileHandle) {
		};
		return ops;
	}();
	static const std::set<std::string> sentences = {
		"The settings file is unreadable. It has been left untouched.",
		"The settings file is invalid. It has been left untouched.",
		torvane::Tr(torvane::unprotect_failed_message),
		"Unsupported settings version. The file has been left untouched.",
		"Invalid settings. The file has been left untouched.",
	};
	file_data = data;
	file_size = size;
	torvane::PanelSettings settings;
	settings.bitrate = 1234;
	std::string message;
	const bool loaded = torvane::LoadSettingsFile(u"settings.dpapi", settings, message, files);
	if (loaded ? !message.empty() || settings.destinations.size() > 1000 || settings.bitrate < 1000 ||
			     settings.bitrate > 8000
		   : !sentences.count(message) || settings.bitrate != 1234 || !settings.destinations.empty())
		std::abort();
	return 0;
}
