#pragma once

// Helpers shared by the settings tests on every platform.
#include "settings/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace torvane_testing {

inline void ExpectSameSettings(const torvane::PanelSettings &actual, const torvane::PanelSettings &expected)
{
	EXPECT_EQ(actual.bitrate, expected.bitrate);
	EXPECT_EQ(actual.height, expected.height);
	EXPECT_EQ(actual.fps, expected.fps);
	ASSERT_EQ(actual.destinations.size(), expected.destinations.size());
	for (size_t i = 0; i < expected.destinations.size(); i++) {
		SCOPED_TRACE("destination " + std::to_string(i));
		const torvane::Destination &a = actual.destinations[i];
		const torvane::Destination &e = expected.destinations[i];
		EXPECT_EQ(a.name, e.name);
		EXPECT_EQ(a.platform, e.platform);
		EXPECT_EQ(a.server, e.server);
		EXPECT_EQ(a.key, e.key);
		EXPECT_EQ(a.username, e.username);
		EXPECT_EQ(a.password, e.password);
		EXPECT_EQ(a.enabled, e.enabled);
	}
}

// Settings with a secret in every protected field, to look for on disk.
inline const char *const secret_key = "live_8675309_SECRETSTREAMKEY";
inline const char *const secret_password = "p\xC3\xA4ssw\xC3\xB6rd-SECRETPASSWORD";

inline torvane::PanelSettings SettingsWithSecrets()
{
	torvane::PanelSettings s = torvane::DefaultSettings();
	s.bitrate = 6000;
	s.height = 720;
	s.fps = 60;
	s.destinations[1].key = secret_key;
	s.destinations[1].enabled = true;
	torvane::Destination custom = torvane::MakeCustomDestination(s.destinations.size());
	custom.server = "rtmp://127.0.0.1:1935/live";
	custom.key = secret_key;
	custom.username = "streamer";
	custom.password = secret_password;
	custom.enabled = true;
	s.destinations.push_back(custom);
	return s;
}

// A fresh folder under the system's temporary folder, removed afterwards.
struct TempDir {
	std::filesystem::path path;
	TempDir()
	{
		std::random_device random;
		path = std::filesystem::temp_directory_path() / ("torvane-test-" + std::to_string(random()));
		std::filesystem::create_directories(path);
	}
	~TempDir()
	{
		std::error_code ignored;
		std::filesystem::remove_all(path, ignored);
	}
};

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path &path, const std::vector<uint8_t> &bytes)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool Contains(const std::vector<uint8_t> &haystack, const std::string &needle)
{
	return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// The names in a folder, to show that no temporary file is left behind.
inline std::vector<std::string> FolderEntries(const std::filesystem::path &folder)
{
	std::vector<std::string> names;
	for (const auto &entry : std::filesystem::directory_iterator(folder))
		names.push_back(entry.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

} // namespace torvane_testing
