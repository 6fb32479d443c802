// Feeds arbitrary bytes as the settings file to the loader, with a plain
// protection back end so that the container, the protection step and the
// document are all reached: every outcome is a success or one of the load
// sentences, and a refused file leaves the settings untouched.
#include "settings/file_ops.h"
#include "settings/protection.h"
#include "settings/store.h"

#include <util/base.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

const uint8_t *file_data = nullptr;
size_t file_size = 0;

void Quiet(int, const char *, va_list, void *) {}

bool NeverMissing(const std::u16string &)
{
	return false;
}

torvane::FileHandle OpenRead(const std::u16string &)
{
	return 1;
}

int64_t Size(torvane::FileHandle)
{
	return static_cast<int64_t>(file_size);
}

bool ReadAll(torvane::FileHandle, uint8_t *buffer, size_t size)
{
	if (size != file_size)
		return false;
	if (size)
		std::memcpy(buffer, file_data, size);
	return true;
}

void Close(torvane::FileHandle) {}

torvane::FileOps MemoryFile()
{
	torvane::FileOps files = torvane::platform_file_ops;
	files.is_missing = NeverMissing;
	files.open_read = OpenRead;
	files.size = Size;
	files.read_all = ReadAll;
	files.close = Close;
	return files;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	base_set_log_handler(Quiet, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static const torvane::FileOps files = MemoryFile();
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
	if (torvane::LoadSettingsFile(u"settings.dpapi", settings, message, files)) {
		if (!message.empty())
			std::abort();
	} else if (!sentences.count(message) || settings.bitrate != 1234) {
		std::abort();
	}
	return 0;
}
