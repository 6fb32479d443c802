#pragma once

// Helpers shared by the settings tests on every platform.
#include "settings/file_ops.h"
#include "settings/model.h"
#include "settings/protection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace torvane_testing {

inline auto Fields(const torvane::Destination &d)
{
	return std::tie(d.name, d.platform, d.server, d.key, d.username, d.password, d.enabled);
}

inline auto OwnFields(const torvane::Destination &d)
{
	const torvane::OwnQuality own = d.quality.value_or(torvane::OwnQuality{-1, -1, -1, "none"});
	return std::make_tuple(own.height, own.fps, own.bitrate, own.encoder);
}

inline void ExpectSameSettings(const torvane::PanelSettings &actual, const torvane::PanelSettings &expected)
{
	EXPECT_EQ(std::tie(actual.bitrate, actual.height, actual.fps, actual.encoder, actual.follow_obs_stream,
			   actual.relay.enabled, actual.relay.ingest, actual.relay.key, actual.relay.stats_path),
		  std::tie(expected.bitrate, expected.height, expected.fps, expected.encoder,
			   expected.follow_obs_stream, expected.relay.enabled, expected.relay.ingest,
			   expected.relay.key, expected.relay.stats_path));
	ASSERT_EQ(actual.destinations.size(), expected.destinations.size());
	for (size_t i = 0; i < expected.destinations.size(); i++) {
		EXPECT_TRUE(Fields(actual.destinations[i]) == Fields(expected.destinations[i])) << "destination " << i;
		EXPECT_EQ(OwnFields(actual.destinations[i]), OwnFields(expected.destinations[i]))
			<< "destination " << i;
		EXPECT_TRUE(actual.destinations[i].picture == expected.destinations[i].picture) << "destination " << i;
	}
}

// A secret in every protected field, to look for on disk.
inline const char *const secret_key = "live_8675309_SECRETSTREAMKEY";
inline const char *const secret_password = "p\xC3\xA4ssw\xC3\xB6rd-SECRETPASSWORD";

inline torvane::PanelSettings SettingsWithSecrets()
{
	torvane::PanelSettings s = torvane::DefaultSettings();
	s = {6000, 720, 60, s.destinations};
	s.destinations[1].key = secret_key;
	s.destinations[1].enabled = true;
	s.destinations[1].quality = torvane::OwnQuality{0, 30, 2500, "hardware_h264"};
	s.destinations.push_back(
		{"Custom 5", "Custom", "rtmp://127.0.0.1:1935/live", secret_key, "streamer", secret_password, true});
	s.relay = {true, "rtmp://relay.example/live", secret_key, "/stat-0123456789abcdef0123456789abcdef"};
	return s;
}

struct TempDir {
	std::filesystem::path path =
		std::filesystem::temp_directory_path() / ("torvane-test-" + std::to_string(std::random_device()()));
	TempDir() { std::filesystem::create_directories(path); }
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
	std::ofstream(path, std::ios::binary | std::ios::trunc)
		.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> SealedFile(const std::string &document)
{
	std::vector<uint8_t> file = {'T', 'R', 'V', '1'}, blob;
	EXPECT_TRUE(torvane::ProtectBytes(reinterpret_cast<const uint8_t *>(document.data()), document.size(), blob));
	file.insert(file.end(), blob.begin(), blob.end());
	return file;
}

inline std::vector<std::string> FolderEntries(const std::filesystem::path &folder)
{
	std::vector<std::string> names;
	for (const auto &entry : std::filesystem::directory_iterator(folder))
		names.push_back(entry.path().filename().string());
	std::sort(names.begin(), names.end());
	return names;
}

// The platform's file calls asking `save_step` at each step of a save: 1 before
// creating the temporary file, 2 and 3 halfway through the magic and the blob,
// 4 before the flush, 5 before the move. A step answered false fails there.
inline bool (*save_step)(int step) = [](int) {
	return true;
};

inline torvane::FileOps HookedOps()
{
	static int step;
	using torvane::platform_file_ops;
	torvane::FileOps ops = platform_file_ops;
	ops.create = [](const std::u16string &p) {
		return save_step(step = 1) ? platform_file_ops.create(p) : torvane::no_file;
	};
	ops.write = [](torvane::FileHandle f, const uint8_t *data, size_t size) {
		return platform_file_ops.write(f, data, size / 2) && save_step(++step) &&
		       platform_file_ops.write(f, data + size / 2, size - size / 2);
	};
	ops.flush = [](torvane::FileHandle f) {
		return save_step(4) && platform_file_ops.flush(f);
	};
	ops.replace = [](torvane::FileHandle f, const std::u16string &from, const std::u16string &to) {
		if (save_step(5))
			return platform_file_ops.replace(f, from, to);
		platform_file_ops.close(f);
		return false;
	};
	return ops;
}

} // namespace torvane_testing
