#pragma once

#include "settings/file_ops.h"
#include "settings/model.h"

#include <string>

// The module's configuration and its protected file "settings.dpapi": the
// four bytes "TRV1" followed by the protected settings document. A file that
// could not be read is never overwritten until the module is loaded again.
namespace torvane {

inline constexpr const char *settings_file_name = "settings.dpapi";

// The smallest and largest file read: the magic and at least one byte of blob,
// and 4 MiB, far above 1000 destinations.
inline constexpr int64_t min_settings_file_size = 5;
inline constexpr int64_t max_settings_file_size = int64_t(4) << 20;

struct SettingsStore {
	std::u16string settings_path; // empty when the host gave no usable path
	PanelSettings settings;
	// False after a failed load or without a path: nothing is saved then and
	// the panel stays read-only until the module is loaded again.
	bool usable = true;
	std::string load_error; // why `usable` is false
	bool load_attempted = false;
};

// Asks the host for the settings path: a string to release with bfree, or null.
using SettingsPathSource = char *(*)();

// On the first call for `store` only: asks `path_source` for the path and
// loads the file into the store, falling back to the defaults, read-only, when
// that fails. Later calls do nothing.
void EnsureSettingsLoaded(SettingsStore &store, SettingsPathSource path_source);

// Saves the store's settings to its file. While the store is not usable it
// refuses with the load's sentence, so that no caller can overwrite a file
// that could not be read.
bool SaveSettingsStore(const SettingsStore &store, std::string &message);

// Fills `settings` from the file at `path`, or with the defaults when there is
// no file. On false `settings` is unchanged and `message` says why.
bool LoadSettingsFile(const std::u16string &path, PanelSettings &settings, std::string &message,
		      const FileOps &files = platform_file_ops);

// Replaces the file at `path` with `settings`, through `path` + ".tmp". On
// false `message` says why and the previous file is untouched.
bool SaveSettingsFile(const std::u16string &path, const PanelSettings &settings, std::string &message,
		      const FileOps &files = platform_file_ops);

} // namespace torvane
