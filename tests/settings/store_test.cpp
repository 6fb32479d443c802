// The protected settings file with the platform's real protection and files.
// Runs on Linux against a private keyring and on Windows under Wine.
#include "settings/document.h"
#include "settings/protection.h"
#include "settings/store.h"
#include "settings/text.h"
#include "settings_testing.h"

#include <gtest/gtest.h>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

const char *const unreadable = "The settings file is unreadable. It has been left untouched.";
const char *const invalid_file = "The settings file is invalid. It has been left untouched.";
const char *const unsupported = "Unsupported settings version. The file has been left untouched.";
const char *const invalid_settings = "Invalid settings. The file has been left untouched.";
const char *const no_directory = "OBS did not provide a settings directory.";
const char *const save_failed = "Could not save encrypted settings. Check the configuration folder permissions.";

std::u16string Wide(const fs::path &path)
{
	return Utf8ToWide(path.u8string());
}

// "TRV1" and the protected form of `document`.
std::vector<uint8_t> SealedFile(const std::string &document)
{
	std::vector<uint8_t> blob;
	EXPECT_TRUE(ProtectBytes(reinterpret_cast<const uint8_t *>(document.data()), document.size(), blob));
	std::vector<uint8_t> file = {'T', 'R', 'V', '1'};
	file.insert(file.end(), blob.begin(), blob.end());
	return file;
}

std::string Document(const PanelSettings &settings)
{
	return obs_data_get_json(SettingsToData(settings));
}

// The path the test hands EnsureSettingsLoaded as if the host had given it.
std::string host_path;
int host_path_calls = 0;
char *TestSettingsPath()
{
	host_path_calls++;
	return host_path.empty() ? nullptr : bstrdup(host_path.c_str());
}

struct SettingsFile : ::testing::Test {
	TempDir dir;
	fs::path folder = dir.path / "plugin_config" / "torvane";
	fs::path file = folder / "settings.dpapi";
	std::u16string path = Wide(file);

	void Save(const PanelSettings &settings)
	{
		std::string message;
		ASSERT_TRUE(SaveSettingsFile(path, settings, message)) << message;
		ASSERT_TRUE(message.empty());
	}

	PanelSettings Load()
	{
		PanelSettings loaded;
		std::string message;
		EXPECT_TRUE(LoadSettingsFile(path, loaded, message)) << message;
		return loaded;
	}

	// A fresh store, as after the module was loaded, filled from `file`.
	SettingsStore LoadStore()
	{
		SettingsStore store;
		host_path = file.u8string();
		EnsureSettingsLoaded(store, TestSettingsPath);
		return store;
	}
};

} // namespace

TEST_F(SettingsFile, FirstSaveCreatesTheFolderAndANewStoreReopensIt)
{
	const SettingsStore empty = LoadStore();
	EXPECT_TRUE(empty.usable);
	EXPECT_TRUE(empty.load_error.empty());
	EXPECT_EQ(empty.settings_path, path);
	ExpectSameSettings(empty.settings, DefaultSettings());
	EXPECT_FALSE(fs::exists(folder)) << "a load must not create anything";

	Save(SettingsWithSecrets());
	EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});
	const std::vector<uint8_t> bytes = ReadBytes(file);
	ASSERT_GT(bytes.size(), 4u);
	EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "TRV1");

	const SettingsStore reopened = LoadStore();
	EXPECT_TRUE(reopened.usable) << reopened.load_error;
	ExpectSameSettings(reopened.settings, SettingsWithSecrets());

	// Saving again replaces the file and still leaves no temporary file.
	PanelSettings changed = SettingsWithSecrets();
	changed.destinations.erase(changed.destinations.begin());
	changed.bitrate = 2500;
	Save(changed);
	EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});
	ExpectSameSettings(Load(), changed);
}

TEST_F(SettingsFile, TheStoreLoadsOnceAndNeedsAUsableHostPath)
{
	Save(SettingsWithSecrets());
	SettingsStore store;
	host_path = file.u8string();
	host_path_calls = 0;
	EnsureSettingsLoaded(store, TestSettingsPath);
	EXPECT_TRUE(store.load_attempted);
	store.settings.bitrate = 7000; // an edit in the panel
	EnsureSettingsLoaded(store, TestSettingsPath);
	EXPECT_EQ(store.settings.bitrate, 7000) << "a second call must not reload";
	EXPECT_EQ(host_path_calls, 1);

	for (const std::string &given : {std::string(), folder.u8string() + "/\xC3(bad utf-8)/settings.dpapi"}) {
		SCOPED_TRACE(given);
		SettingsStore orphan;
		host_path = given;
		EnsureSettingsLoaded(orphan, TestSettingsPath);
		EXPECT_FALSE(orphan.usable);
		EXPECT_EQ(orphan.load_error, no_directory);
		EXPECT_TRUE(orphan.settings_path.empty());
		ExpectSameSettings(orphan.settings, DefaultSettings());
		std::string message;
		EXPECT_FALSE(SaveSettingsStore(orphan, message));
		EXPECT_EQ(message, no_directory);
	}
}

// Every file that cannot be read leaves a read-only store on the defaults
// with its sentence, and stays byte for byte as it was however often the
// module instance tries to save.
TEST_F(SettingsFile, UnreadableFilesAreReportedAndNeverOverwritten)
{
	std::vector<uint8_t> damaged = SealedFile(Document(SettingsWithSecrets()));
	damaged[damaged.size() - 3] ^= 0x40; // in the ciphertext and tag, where every back end checks
	std::vector<uint8_t> wrong_magic = SealedFile(Document(DefaultSettings()));
	wrong_magic[0] = 't';
	std::vector<uint8_t> too_large(static_cast<size_t>(max_settings_file_size) + 1, 'x');
	std::copy_n("TRV1", 4, too_large.begin());
	const std::vector<uint8_t> largest(too_large.begin(), too_large.end() - 1);

	PanelSettings crowded = DefaultSettings();
	crowded.destinations.assign(max_saved_destinations + 1, MakeCustomDestination(0));
	std::string version_two = Document(DefaultSettings());
	version_two.replace(version_two.find("\"version\":1"), 11, "\"version\":2");

	struct Case {
		const char *name;
		std::vector<uint8_t> bytes;
		const char *message;
	};
	const Case cases[] = {
		{"empty", {}, unreadable},
		{"magic only", {'T', 'R', 'V', '1'}, unreadable},
		{"five bytes", {'T', 'R', 'V', '1', 0}, unprotect_failed_message},
		{"wrong magic", wrong_magic, invalid_file},
		{"4 MiB", largest, unprotect_failed_message}, // read, and refused only by the protection
		{"over 4 MiB", too_large, unreadable},
		{"damaged blob", damaged, unprotect_failed_message},
		{"not JSON", SealedFile("this is not JSON"), unsupported},
		{"version 2", SealedFile(version_two), unsupported},
		{"1001 destinations", SealedFile(Document(crowded)), invalid_settings},
	};

	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		fs::create_directories(folder);
		WriteBytes(file, c.bytes);

		SettingsStore store = LoadStore();
		EXPECT_FALSE(store.usable);
		EXPECT_EQ(store.load_error, c.message);
		ExpectSameSettings(store.settings, DefaultSettings());

		// Whatever the panel saves later in this module instance is refused
		// with the load's sentence, even after the file became readable.
		store.settings = SettingsWithSecrets();
		std::string message;
		EXPECT_FALSE(SaveSettingsStore(store, message));
		EXPECT_EQ(message, c.message);
		EnsureSettingsLoaded(store, TestSettingsPath);
		EXPECT_FALSE(SaveSettingsStore(store, message));
		EXPECT_EQ(ReadBytes(file), c.bytes);
		EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});

		// The plain load reports the same and leaves its target alone.
		PanelSettings target = SettingsWithSecrets();
		EXPECT_FALSE(LoadSettingsFile(path, target, message));
		EXPECT_EQ(message, c.message);
		ExpectSameSettings(target, SettingsWithSecrets());
	}

	// Once the module is loaded again, a good file is read and saving works.
	Save(DefaultSettings());
	const SettingsStore store = LoadStore();
	EXPECT_TRUE(store.usable) << store.load_error;
	std::string message;
	EXPECT_TRUE(SaveSettingsStore(store, message)) << message;
}

// A save never writes what the next load would refuse, which would leave the
// whole configuration unreachable after a restart: it is refused and the file
// stays as it was. The most a load accepts still saves and reads back.
TEST_F(SettingsFile, ASaveTheLoadWouldRefuseLeavesTheFile)
{
	Save(SettingsWithSecrets());
	const std::vector<uint8_t> previous = ReadBytes(file);

	PanelSettings crowded = DefaultSettings();
	crowded.destinations.assign(max_saved_destinations + 1, MakeCustomDestination(0));
	PanelSettings huge = DefaultSettings();
	huge.destinations[0].key.assign(static_cast<size_t>(max_settings_file_size), 'k');
	PanelSettings slow = DefaultSettings();
	slow.bitrate = 999;
	const std::pair<PanelSettings, const char *> refused[] = {
		{crowded, "Nothing was saved: a settings file holds at most 1000 destinations."},
		{huge, "Nothing was saved: the settings would exceed the 4 MiB a settings file may hold."},
		{slow, "Video bitrate must be between 1000 and 8000 kbps."},
	};
	for (const auto &[settings, sentence] : refused) {
		SCOPED_TRACE(sentence);
		std::string message;
		EXPECT_FALSE(SaveSettingsFile(path, settings, message));
		EXPECT_EQ(message, sentence);
		EXPECT_TRUE(ReadBytes(file) == previous);
		EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});
	}

	crowded.destinations.pop_back();
	huge.destinations[0].key.resize(static_cast<size_t>(max_settings_file_size) - 4096);
	for (const PanelSettings &largest : {crowded, huge}) {
		Save(largest);
		ExpectSameSettings(Load(), largest);
	}
}

TEST_F(SettingsFile, SecretsNeverReachTheDiskInClear)
{
	// Every byte written by the save, the temporary file's included.
	static std::vector<uint8_t> written;
	written.clear();
	FileOps recording = platform_file_ops;
	recording.write = [](FileHandle f, const uint8_t *data, size_t size) {
		written.insert(written.end(), data, data + size);
		return platform_file_ops.write(f, data, size);
	};
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message, recording)) << message;
	ExpectSameSettings(Load(), SettingsWithSecrets());

	ASSERT_FALSE(written.empty());
	EXPECT_EQ(ReadBytes(file), written);
	for (const char *secret : {secret_key, secret_password, "streamer", "rtmp://127.0.0.1"}) {
		SCOPED_TRACE(secret);
		EXPECT_FALSE(Contains(written, secret));
	}
}

namespace {

// Fault injection: the step named here fails; a "crash" also skips the
// clean-up a failing save would do, as if the process had died there.
enum class Step { create, write_magic, write_blob, flush, replace };
Step failing_step;
bool crash;
int writes;

FileOps FailingOps()
{
	FileOps ops = platform_file_ops;
	writes = 0;
	ops.create = [](const std::u16string &p) {
		return failing_step == Step::create ? no_file : platform_file_ops.create(p);
	};
	ops.write = [](FileHandle f, const uint8_t *data, size_t size) {
		const Step step = writes++ == 0 ? Step::write_magic : Step::write_blob;
		if (step == failing_step) {
			// Half of it reaches the disk, as in a torn write.
			platform_file_ops.write(f, data, size / 2);
			return false;
		}
		return platform_file_ops.write(f, data, size);
	};
	ops.flush = [](FileHandle f) { return failing_step != Step::flush && platform_file_ops.flush(f); };
	ops.replace = [](FileHandle f, const std::u16string &from, const std::u16string &to) {
		if (failing_step != Step::replace)
			return platform_file_ops.replace(f, from, to);
		platform_file_ops.close(f);
		return false;
	};
	ops.remove = [](const std::u16string &p) {
		if (!crash)
			platform_file_ops.remove(p);
	};
	return ops;
}

} // namespace

TEST_F(SettingsFile, AnInterruptedSaveKeepsThePreviousFile)
{
	const PanelSettings before = SettingsWithSecrets();
	PanelSettings after = DefaultSettings();
	after.bitrate = 3500;

	const std::pair<Step, const char *> steps[] = {{Step::create, "create"},
						       {Step::write_magic, "write magic"},
						       {Step::write_blob, "write blob"},
						       {Step::flush, "flush"},
						       {Step::replace, "replace"}};
	for (bool crashed : {false, true}) {
		for (const auto &[step, name] : steps) {
			SCOPED_TRACE(std::string(name) + (crashed ? " (crash)" : " (failure)"));
			Save(before);
			const std::vector<uint8_t> previous = ReadBytes(file);

			failing_step = step;
			crash = crashed;
			std::string message;
			EXPECT_FALSE(SaveSettingsFile(path, after, message, FailingOps()));
			EXPECT_EQ(message, save_failed);
			EXPECT_EQ(ReadBytes(file), previous);
			ExpectSameSettings(Load(), before);
			if (!crashed) {
				EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});
			}

			// The next save takes over whatever a crash left behind.
			Save(after);
			EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"settings.dpapi"});
			ExpectSameSettings(Load(), after);
		}
	}
}

// Root ignores folder permissions, so an unwritable folder is made by putting
// the settings path under a regular file: no folder can be created there.
TEST_F(SettingsFile, AnUnwritableFolderGivesThePermissionsSentence)
{
	fs::create_directories(folder);
	WriteBytes(folder / "not-a-folder", {'x'});
	const fs::path blocked = folder / "not-a-folder" / "settings.dpapi";

	PanelSettings loaded = SettingsWithSecrets();
	std::string message;
	EXPECT_TRUE(LoadSettingsFile(Wide(blocked), loaded, message)) << "a path that cannot exist has no file";
	ExpectSameSettings(loaded, DefaultSettings());

	EXPECT_FALSE(SaveSettingsFile(Wide(blocked), SettingsWithSecrets(), message));
	EXPECT_EQ(message, save_failed);
	EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"not-a-folder"});

	// A folder that refuses new files (read-only, or full) fails at creation.
	Save(DefaultSettings());
	const std::vector<uint8_t> previous = ReadBytes(file);
	failing_step = Step::create;
	crash = false;
	EXPECT_FALSE(SaveSettingsFile(path, SettingsWithSecrets(), message, FailingOps()));
	EXPECT_EQ(message, save_failed);
	EXPECT_EQ(ReadBytes(file), previous);
	EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"not-a-folder", "settings.dpapi"}));
}
