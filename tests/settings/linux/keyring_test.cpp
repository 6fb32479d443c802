// The Linux back end against the private keyring of keyring-session.sh
// (KeyringAbsent runs with no bus). The test that forks keeps its own process
// off the keyring until it forks no more.
#include "settings/store.h"
#include "settings/utf8.h"
#include "../settings_testing.h"

#include <libsecret/secret.h>
#include <util/base.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

const char *const encrypt_failed = "The system keyring could not encrypt the settings. Nothing was saved.";
const SecretSchema schema = [] {
	SecretSchema s = {};
	s.name = "org.torvane.Settings";
	s.attributes[0] = {"purpose", SECRET_SCHEMA_ATTRIBUTE_STRING};
	return s;
}();

// The module's key item as another program sees it, and put there; empty: none.
std::string StoredKey()
{
	SecretValue *value =
		secret_password_lookup_binary_sync(&schema, nullptr, nullptr, "purpose", "settings-file-key", nullptr);
	gsize size = 0;
	const gchar *bytes = value ? secret_value_get(value, &size) : "";
	const std::string key(bytes, size);
	if (value)
		secret_value_unref(value);
	return key;
}

void StoreKey(const std::string &secret)
{
	secret_password_clear_sync(&schema, nullptr, nullptr, "purpose", "settings-file-key", nullptr);
	SecretValue *value = secret_value_new(secret.data(), secret.size(), "application/octet-stream");
	if (!secret.empty())
		secret_password_store_binary_sync(&schema, nullptr, "Torvane settings", value, nullptr, nullptr,
						  "purpose", "settings-file-key", nullptr);
	secret_value_unref(value);
}

bool Succeeded(pid_t child)
{
	int status = 0;
	return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool InChild(const std::function<bool()> &job)
{
	const pid_t child = fork();
	if (child == 0)
		_exit(job() ? 0 : 1);
	return Succeeded(child);
}

struct KeyringFile : ::testing::Test {
	TempDir dir;
	fs::path file = dir.path / "settings.dpapi";
	std::u16string path = Utf8ToWide(file.string());
	std::string message;

	bool Save(const PanelSettings &settings, const FileOps &files = platform_file_ops)
	{
		return SaveSettingsFile(path, settings, message, files);
	}
	bool Loads(const PanelSettings &expected)
	{
		PanelSettings loaded;
		return LoadSettingsFile(path, loaded, message) &&
		       Fields(loaded.destinations[1]) == Fields(expected.destinations[1]);
	}
};

} // namespace

// A key that cannot be read (gone, another keyring's, something else in the
// item, locked) is never taken for a missing one: a new key would make every
// file sealed with the old one unreadable for good.
TEST_F(KeyringFile, AKeyThatCannotBeReadIsNeverReplaced)
{
	ASSERT_TRUE(Save(SettingsWithSecrets())) << message;
	const std::string key = StoredKey();
	const std::vector<uint8_t> saved = ReadBytes(file);
	ASSERT_EQ(key.size(), 32u);
	for (const std::string &other : {std::string(), std::string(32, 'o'), std::string("not a key")}) {
		StoreKey(other);
		EXPECT_FALSE(Loads(SettingsWithSecrets()));
		EXPECT_EQ(message, Tr(unprotect_failed_message));
		EXPECT_FALSE(other == "not a key" && Save(DefaultSettings()));
		EXPECT_EQ(StoredKey(), other) << "neither a load nor a save replaced it";
	}
	StoreKey(key);
	EXPECT_TRUE(Loads(SettingsWithSecrets())) << message;

	SecretService *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
	GList *locked =
		g_list_append(nullptr, secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
									SECRET_COLLECTION_NONE, nullptr, nullptr));
	ASSERT_EQ(secret_service_lock_sync(service, locked, nullptr, nullptr, nullptr), 1);
	g_list_free_full(locked, g_object_unref);
	g_object_unref(service);
	EXPECT_FALSE(Loads(SettingsWithSecrets()));
	EXPECT_FALSE(Save(DefaultSettings()));
	EXPECT_EQ(message, encrypt_failed);
	EXPECT_TRUE(ReadBytes(file) == saved);
}

TEST(KeyringAbsent, NothingIsSavedAndTheDiskIsUntouched)
{
	if (!getenv("TORVANE_TEST_NO_KEYRING"))
		GTEST_SKIP() << "runs only without a keyring (TORVANE_TEST_NO_KEYRING)";
	TempDir dir;
	std::string message;
	EXPECT_FALSE(SaveSettingsFile(Utf8ToWide((dir.path / "config" / "settings.dpapi").string()),
				      SettingsWithSecrets(), message));
	EXPECT_EQ(message, encrypt_failed);
	EXPECT_FALSE(fs::exists(dir.path / "config")) << "the disk must not be touched";
}

// What libobs logs on a document that is not JSON holds no secret.
TEST_F(KeyringFile, NothingSecretIsLogged)
{
	static std::string log;
	base_set_log_handler(
		[](int, const char *format, va_list args, void *) {
			char line[8192];
			vsnprintf(line, sizeof(line), format, args);
			log += line;
		},
		nullptr);
	WriteBytes(file, SealedFile(std::string("{\"version\": 1, \"key\": \"") + secret_key));
	EXPECT_FALSE(Loads(SettingsWithSecrets()));
	base_set_log_handler(nullptr, nullptr);
	EXPECT_NE(log, "");
	EXPECT_EQ(log.find(secret_key), std::string::npos) << log;
}

// A save that died midway left its temporary file behind, readable by others:
// the next save still succeeds, and the file is its owner's alone. (Whether
// the previous file survives a save that stops at any step is the store
// tests' part.)
TEST_F(KeyringFile, ASaveAfterOneThatDiedSucceedsAndKeepsTheFilePrivate)
{
	WriteBytes(file.string() + ".tmp", {'T', 'R'});
	chmod((file.string() + ".tmp").c_str(), 0644);
	ASSERT_TRUE(Save(SettingsWithSecrets())) << message;
	EXPECT_TRUE(Loads(SettingsWithSecrets())) << message;
	EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"settings.dpapi"});
	struct stat status = {};
	EXPECT_EQ(stat(file.c_str(), &status) == 0 ? status.st_mode & 0777 : 0, 0600u);
}

int ready_fd, go_fd;

// Both saves start together and pause halfway through each write, so they overlap.
bool RacingStep(int step)
{
	char byte = 1;
	if (step == 1)
		return write(ready_fd, &byte, 1) == 1 && read(go_fd, &byte, 1) == 0;
	usleep(20000);
	return true;
}

// Two OBS instances saving at once: the file is always one save's, whole.
TEST_F(KeyringFile, TwoProcessesSavingAtOnceNeverInstallAMixedFile)
{
	PanelSettings saves[2] = {SettingsWithSecrets(), SettingsWithSecrets()};
	saves[0].destinations[1].key.assign(600000, 'a');
	saves[1].destinations[1].key.assign(400000, 'b');
	ASSERT_TRUE(InChild([&] { return Save(DefaultSettings()); })) << "makes the key";
	save_step = RacingStep;
	for (int round = 0; round < 20; round++) {
		int ready[2], go[2], succeeded = 0;
		ASSERT_TRUE(pipe(ready) == 0 && pipe(go) == 0);
		ready_fd = ready[1];
		go_fd = go[0];
		pid_t savers[2];
		for (int i = 0; i < 2; i++)
			if ((savers[i] = fork()) == 0)
				_exit(close(go[1]) == 0 && Save(saves[i], HookedOps()) ? 0 : 1);
		char byte;
		EXPECT_TRUE(read(ready[0], &byte, 1) == 1 && read(ready[0], &byte, 1) == 1);
		close(go[1]); // both saves go on at once
		for (pid_t saver : savers)
			succeeded += Succeeded(saver);
		for (int end : {ready[0], ready[1], go[0]})
			close(end);
		EXPECT_GE(succeeded, 1);
		ASSERT_TRUE(InChild([&] { return Loads(saves[0]) || Loads(saves[1]); })) << "round " << round;
	}
}
