#include "settings/store.h"

#include "settings/document.h"
#include "settings/protection.h"
#include "settings/utf8.h"
#include "settings/validation.h"
#include "settings/texts.h"

#include <util/util.hpp>

#include <cstring>
#include <utility>
#include <vector>

namespace torvane {

static const char magic[4] = {'T', 'R', 'V', '1'};

void EnsureSettingsLoaded(SettingsStore &store, SettingsPathSource path_source)
{
	if (store.load_attempted)
		return;
	store.load_attempted = true;

	BPtr<char> path = path_source();
	if (path)
		store.settings_path = Utf8ToWide(path.Get());

	if (!store.settings_path.empty()) {
		store.usable = LoadSettingsFile(store.settings_path, store.settings, store.load_error);
		if (store.usable)
			return;
	} else {
		// No path, or one that is not valid UTF-8: there is nowhere to save.
		store.usable = false;
		store.load_error = Tr(Txt::NoSettingsFolder);
	}
	store.settings = DefaultSettings();
}

bool SaveSettingsStore(const SettingsStore &store, std::string &message)
{
	if (!store.usable || store.settings_path.empty()) {
		message = store.load_error.empty() ? Tr(Txt::NoSettingsFolder) : store.load_error;
		return false;
	}
	return SaveSettingsFile(store.settings_path, store.settings, message);
}

// Closes the handle on every way out of a read or write.
struct OpenFile {
	const FileOps &files;
	FileHandle handle;
	~OpenFile()
	{
		if (handle != no_file)
			files.close(handle);
	}
};

bool LoadSettingsFile(const std::u16string &path, PanelSettings &settings, std::string &message, const FileOps &files)
{
	message.clear();
	if (files.is_missing(path)) {
		settings = DefaultSettings();
		return true;
	}

	std::vector<uint8_t> contents;
	{
		OpenFile file{files, files.open_read(path)};
		if (file.handle == no_file) {
			message = Tr(Txt::FileUnreadable);
			return false;
		}
		const int64_t size = files.size(file.handle);
		if (size < min_settings_file_size || size > max_settings_file_size) {
			message = Tr(Txt::FileUnreadable);
			return false;
		}
		contents.resize(static_cast<size_t>(size));
		if (!files.read_all(file.handle, contents.data(), contents.size()) ||
		    std::memcmp(contents.data(), magic, sizeof(magic)) != 0) {
			message = Tr(Txt::FileInvalid);
			return false;
		}
	}

	std::string json;
	if (!UnprotectBytes(contents.data() + sizeof(magic), contents.size() - sizeof(magic), json)) {
		WipeText(json);
		message = Tr(unprotect_failed_message);
		return false;
	}
	const bool accepted = SettingsFromData(json.c_str(), settings, message);
	WipeText(json);
	return accepted;
}

bool SaveSettingsFile(const std::u16string &path, const PanelSettings &settings, std::string &message,
		      const FileOps &files)
{
	message.clear();

	// Nothing is written that the next load would refuse: that would lock
	// the user out of the whole configuration after a restart.
	if (settings.destinations.size() > max_saved_destinations) {
		message = Tr(Txt::TooMany, {std::to_string(max_saved_destinations)});
		return false;
	}
	message = ValidateQuality(settings);
	if (!message.empty())
		return false;

	std::vector<uint8_t> blob;
	bool protected_ok;
	{
		OBSDataAutoRelease document = SettingsToData(settings);
		// The text belongs to the document; it is wiped before the document
		// frees it.
		char *json = const_cast<char *>(obs_data_get_json(document));
		const size_t length = json ? std::strlen(json) : 0;
		protected_ok = json && ProtectBytes(reinterpret_cast<const uint8_t *>(json), length, blob);
		if (json)
			WipeBytes(json, length);
	}
	if (!protected_ok) {
		message = Tr(protect_failed_message);
		return false;
	}
	if (sizeof(magic) + blob.size() > static_cast<uint64_t>(max_settings_file_size)) {
		message = Tr(Txt::TooLarge, {std::to_string(max_settings_file_size >> 20)});
		return false;
	}

	files.create_parents(path);
	const std::u16string temporary = path + u".tmp";
	bool created = false;
	bool saved = false;
	{
		OpenFile file{files, files.create(temporary)};
		created = file.handle != no_file;
		if (created && files.write(file.handle, reinterpret_cast<const uint8_t *>(magic), sizeof(magic)) &&
		    files.write(file.handle, blob.data(), blob.size()) && files.flush(file.handle))
			saved = files.replace(std::exchange(file.handle, no_file), temporary, path);
	}
	if (saved)
		return true;

	// A temporary file this save did not create may be another save's.
	if (created)
		files.remove(temporary);
	message = Tr(Txt::SaveFailed);
	return false;
}

} // namespace torvane
