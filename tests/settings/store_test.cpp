// The protected settings file with the platform's real protection and files
// (Linux against a private keyring, Windows under Wine).
#include "settings/document.h"
#include "settings/store.h"
#include "settings/utf8.h"
#include "settings_testing.h"

#include <gtest/gtest.h>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

const char *const save_failed = "Could not save encrypted settings. Check the configuration folder permissions.";
const std::vector<std::string> only_the_file = {"settings.dpapi"};

std::string host_path; // as if the host had given it
char *HostPath()
{
	return host_path.empty() ? nullptr : bstrdup(host_path.c_str());
}

struct SettingsFile : ::testing::Test {
	TempDir dir;
	fs::path folder = dir.path / "plugin_config" / "torvane";
	fs::path file = folder / "settings.dpapi";
	std::u16string path = Utf8ToWide(file.u8string());

	void Save(const PanelSettings &settings)
	{
		std::string message;
		ASSERT_TRUE(SaveSettingsFile(path, settings, message)) << message;
		EXPECT_EQ(FolderEntries(folder), only_the_file);
	}

	SettingsStore LoadStore(const std::string &given)
	{
		SettingsStore store;
		host_path = given;
		EnsureSettingsLoaded(store, HostPath);
		return store;
	}
};

} // namespace

TEST_F(SettingsFile, TheStoreLoadsOnceAndSavesWhereTheHostSays)
{
	SettingsStore store = LoadStore(file.u8string());
	EXPECT_TRUE(store.usable && store.load_error.empty());
	ExpectSameSettings(store.settings, DefaultSettings());
	EXPECT_FALSE(fs::exists(folder)) << "a load must not create anything";

	store.settings = SettingsWithSecrets();
	std::string message;
	ASSERT_TRUE(SaveSettingsStore(store, message)) << message;
	EXPECT_EQ(FolderEntries(folder), only_the_file);
	store.settings.bitrate = 7000; // an edit in the panel, which a second call must not reload over
	EnsureSettingsLoaded(store, HostPath);
	EXPECT_EQ(store.settings.bitrate, 7000);
	ExpectSameSettings(LoadStore(file.u8string()).settings, SettingsWithSecrets());

	for (const std::string &given : {std::string(), folder.u8string() + "/\xC3(/settings.dpapi"}) {
		SettingsStore orphan = LoadStore(given);
		EXPECT_FALSE(orphan.usable);
		EXPECT_EQ(orphan.load_error, "OBS did not provide a settings directory.");
		ExpectSameSettings(orphan.settings, DefaultSettings());
		EXPECT_FALSE(SaveSettingsStore(orphan, message));
		EXPECT_EQ(message, "OBS did not provide a settings directory.");
	}
}

// An unreadable file leaves a read-only store on the defaults, and is never overwritten.
TEST_F(SettingsFile, UnreadableFilesAreReportedAndNeverOverwritten)
{
	std::vector<uint8_t> damaged = SealedFile(obs_data_get_json(SettingsToData(SettingsWithSecrets())));
	damaged[damaged.size() - 3] ^= 0x40; // in the ciphertext and tag, where every back end checks
	std::vector<uint8_t> wrong_magic = damaged;
	wrong_magic[0] = 't';
	std::vector<uint8_t> too_large(static_cast<size_t>(max_settings_file_size) + 1, 'x');
	std::copy_n("TRV1", 4, too_large.begin());
	const std::vector<uint8_t> largest(too_large.begin(), too_large.end() - 1);
	const char *const unreadable = "The settings file is unreadable. It has been left untouched.";
	const std::pair<std::vector<uint8_t>, const char *> cases[] = {
		{{}, unreadable},
		{{'T', 'R', 'V', '1'}, unreadable},
		{{'T', 'R', 'V', '1', 0}, Tr(unprotect_failed_message)},
		{largest, Tr(unprotect_failed_message)}, // read, and refused only by the protection
		{too_large, unreadable},
		{wrong_magic, "The settings file is invalid. It has been left untouched."},
		{damaged, Tr(unprotect_failed_message)},
		{SealedFile("{\"version\": 2}"), "Unsupported settings version. The file has been left untouched."},
		{SealedFile("{\"version\": 1}"), "Invalid settings. The file has been left untouched."}};
	fs::create_directories(folder);
	for (const auto &[bytes, sentence] : cases) {
		SCOPED_TRACE(sentence);
		WriteBytes(file, bytes);
		SettingsStore store = LoadStore(file.u8string());
		EXPECT_FALSE(store.usable);
		EXPECT_EQ(store.load_error, sentence);
		ExpectSameSettings(store.settings, DefaultSettings());

		store.settings = SettingsWithSecrets();
		std::string message;
		EXPECT_FALSE(SaveSettingsStore(store, message));
		EXPECT_EQ(message, sentence);
		EXPECT_TRUE(ReadBytes(file) == bytes);
	}
	Save(DefaultSettings());
	std::string message;
	EXPECT_TRUE(SaveSettingsStore(LoadStore(file.u8string()), message)) << message;
}

int failing_step;

// A save the next load would refuse, or one that fails at any step, leaves the
// previous file whole; the most a load accepts saves. No secret is in clear.
TEST_F(SettingsFile, ARefusedOrFailedSaveKeepsThePreviousFile)
{
	Save(SettingsWithSecrets());
	const std::vector<uint8_t> previous = ReadBytes(file);
	for (const std::string secret : {secret_key, secret_password, "streamer", "rtmp://127.0.0.1"})
		EXPECT_EQ(std::search(previous.begin(), previous.end(), secret.begin(), secret.end()), previous.end());
	PanelSettings crowded = DefaultSettings(), huge = DefaultSettings(), slow = DefaultSettings();
	crowded.destinations.assign(max_saved_destinations + 1, MakeCustomDestination(0));
	huge.destinations[0].key.assign(static_cast<size_t>(max_settings_file_size), 'k');
	slow.bitrate = 999;
	const std::pair<PanelSettings, const char *> refused[] = {
		{crowded, "Nothing was saved: a settings file holds at most 1000 destinations."},
		{huge, "Nothing was saved: the settings would exceed the 4 MiB a settings file may hold."},
		{slow, "Video bitrate must be between 1000 and 8000 kbps."}};
	const auto expect_kept = [&](const PanelSettings &settings, const std::string &sentence) {
		std::string message;
		EXPECT_FALSE(SaveSettingsFile(path, settings, message, HookedOps()));
		EXPECT_EQ(message, sentence);
		EXPECT_TRUE(ReadBytes(file) == previous) << failing_step;
		EXPECT_EQ(FolderEntries(folder), only_the_file);
	};
	for (const auto &[settings, sentence] : refused)
		expect_kept(settings, sentence);
	save_step = [](int step) {
		return step != failing_step;
	};
	for (failing_step = 1; failing_step <= 5; failing_step++)
		expect_kept(DefaultSettings(), save_failed);
	failing_step = 0;
	crowded.destinations.pop_back();
	huge.destinations[0].key.resize(static_cast<size_t>(max_settings_file_size) - 4096);
	for (const PanelSettings &largest : {crowded, huge}) {
		Save(largest);
		PanelSettings loaded;
		std::string message;
		ASSERT_TRUE(LoadSettingsFile(path, loaded, message)) << message;
		ExpectSameSettings(loaded, largest);
	}
}
