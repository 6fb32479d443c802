// The Linux protection: a key in the user's Secret Service keyring. Run by
// keyring-session.sh against a private gnome-keyring-daemon, except the
// KeyringAbsent cases, which run with no reachable session bus.
#include "settings/protection.h"
#include "settings/store.h"
#include "settings/text.h"
#include "../settings_testing.h"

#include <libsecret/secret.h>
#include <util/base.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

const char *const unlock_failed =
	"The system keyring could not unlock these settings. Use the account that saved them. "
	"The file has been left untouched.";
const char *const key_purpose = "settings-file-key";
const char *const encrypt_failed = "The system keyring could not encrypt the settings. Nothing was saved.";

// The item the module keeps its key in, as another program sees it.
const SecretSchema *KeySchema()
{
	static const SecretSchema schema = [] {
		SecretSchema s = {};
		s.name = "org.torvane.Settings";
		s.flags = SECRET_SCHEMA_NONE;
		s.attributes[0].name = "purpose";
		s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
		return s;
	}();
	return &schema;
}

bool KeyInKeyring()
{
	GError *error = nullptr;
	SecretValue *value =
		secret_password_lookup_binary_sync(KeySchema(), nullptr, &error, "purpose", key_purpose, nullptr);
	EXPECT_EQ(error, nullptr) << (error ? error->message : "");
	if (error)
		g_error_free(error);
	if (!value)
		return false;
	secret_value_unref(value);
	return true;
}

void RemoveKey()
{
	GError *error = nullptr;
	secret_password_clear_sync(KeySchema(), nullptr, &error, "purpose", key_purpose, nullptr);
	ASSERT_EQ(error, nullptr) << error->message;
}

// What the keyring of another account would hold: a key of the right size
// that is not the one the file was sealed with.
void ReplaceKey()
{
	RemoveKey();
	const char other[32] = "another account's keyring key!!";
	SecretValue *value = secret_value_new(other, sizeof(other), "application/octet-stream");
	GError *error = nullptr;
	secret_password_store_binary_sync(KeySchema(), SECRET_COLLECTION_DEFAULT, "Torvane settings", value, nullptr,
					  &error, "purpose", key_purpose, nullptr);
	secret_value_unref(value);
	ASSERT_EQ(error, nullptr) << error->message;
}

// Items of ours in the keyring, locked ones included; nothing is unlocked.
size_t KeyItems()
{
	GHashTable *attributes = secret_attributes_build(KeySchema(), "purpose", key_purpose, nullptr);
	GError *error = nullptr;
	GList *items = secret_service_search_sync(nullptr, KeySchema(), attributes, SECRET_SEARCH_ALL, nullptr, &error);
	g_hash_table_unref(attributes);
	EXPECT_EQ(error, nullptr) << (error ? error->message : "");
	if (error)
		g_error_free(error);
	const size_t count = g_list_length(items);
	g_list_free_full(items, g_object_unref);
	return count;
}

// Locks the default collection, as when the session's keyring is locked. The
// unlock prompt this leads to cannot be shown here and counts as dismissed.
void LockKeyring()
{
	GError *error = nullptr;
	SecretService *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
	ASSERT_NE(service, nullptr) << error->message;
	SecretCollection *collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
									SECRET_COLLECTION_NONE, nullptr, &error);
	g_object_unref(service);
	ASSERT_NE(collection, nullptr) << (error ? error->message : "no default collection");
	GList *objects = g_list_append(nullptr, collection);
	secret_service_lock_sync(nullptr, objects, nullptr, nullptr, &error);
	g_list_free(objects);
	g_object_unref(collection);
	ASSERT_EQ(error, nullptr) << error->message;
}

bool KeyringExpected()
{
	return getenv("TORVANE_TEST_NO_KEYRING") == nullptr;
}

struct KeyringFile : ::testing::Test {
	TempDir dir;
	fs::path file = dir.path / "settings.dpapi";
	std::u16string path = Utf8ToWide(file.string());

	void SetUp() override
	{
		if (!KeyringExpected())
			GTEST_SKIP() << "needs the keyring session of keyring-session.sh";
	}
};

} // namespace

TEST_F(KeyringFile, TheKeyIsMadeByTheFirstSaveAndNotByALoad)
{
	PanelSettings settings;
	std::string message;
	EXPECT_TRUE(LoadSettingsFile(path, settings, message));
	EXPECT_FALSE(KeyInKeyring());

	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
	EXPECT_TRUE(KeyInKeyring());
	// Later saves reuse it: the first file still opens after a second save.
	const std::vector<uint8_t> first = ReadBytes(file);
	ASSERT_TRUE(SaveSettingsFile(path, DefaultSettings(), message)) << message;
	WriteBytes(file, first);
	ASSERT_TRUE(LoadSettingsFile(path, settings, message)) << message;
	ExpectSameSettings(settings, SettingsWithSecrets());
}

TEST_F(KeyringFile, AFileWithoutItsKeyIsLeftUntouched)
{
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
	const std::vector<uint8_t> saved = ReadBytes(file);

	for (bool other_key : {false, true}) {
		SCOPED_TRACE(other_key ? "another keyring's key" : "no key");
		if (other_key)
			ReplaceKey();
		else
			RemoveKey();
		PanelSettings settings = DefaultSettings();
		EXPECT_FALSE(LoadSettingsFile(path, settings, message));
		EXPECT_EQ(message, unlock_failed);
		ExpectSameSettings(settings, DefaultSettings());
		EXPECT_EQ(ReadBytes(file), saved);
		// The failed load did not put a key of its own in place.
		EXPECT_EQ(KeyInKeyring(), other_key);
	}
}

TEST_F(KeyringFile, ALockedKeyringNeitherOpensNorReplacesTheKey)
{
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
	const std::vector<uint8_t> saved = ReadBytes(file);
	LockKeyring();

	PanelSettings settings = DefaultSettings();
	EXPECT_FALSE(LoadSettingsFile(path, settings, message));
	EXPECT_EQ(message, unlock_failed);

	// The locked key is still the file's key: a save must not make another.
	EXPECT_FALSE(SaveSettingsFile(path, DefaultSettings(), message));
	EXPECT_EQ(message, encrypt_failed);
	EXPECT_EQ(KeyItems(), 1u);
	EXPECT_EQ(ReadBytes(file), saved);
	EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST_F(KeyringFile, TheFileAndItsTemporaryAreTheOwnersAlone)
{
	static mode_t temporary_mode;
	temporary_mode = 0;
	FileOps ops = platform_file_ops;
	ops.flush = [](FileHandle f) {
		struct stat status;
		fstat(static_cast<int>(f), &status);
		temporary_mode = status.st_mode & 07777;
		return platform_file_ops.flush(f);
	};
	// A temporary file left by a crash with wider permissions is narrowed.
	WriteBytes(fs::path(file.string() + ".tmp"), {'o', 'l', 'd'});
	chmod((file.string() + ".tmp").c_str(), 0644);

	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message, ops)) << message;
	EXPECT_EQ(temporary_mode, 0600u);
	struct stat status;
	ASSERT_EQ(stat(file.c_str(), &status), 0);
	EXPECT_EQ(status.st_mode & 07777, 0600u);
	EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST_F(KeyringFile, EveryByteOfTheBlobIsChecked)
{
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
	const std::vector<uint8_t> saved = ReadBytes(file);
	// Format byte, nonce, ciphertext and tag: a flip anywhere after the magic
	// is refused, not decrypted into something else.
	for (size_t at = 4; at < saved.size(); at += (at < 64 ? 1 : 37)) {
		std::vector<uint8_t> damaged = saved;
		damaged[at] ^= 0x01;
		WriteBytes(file, damaged);
		PanelSettings settings;
		EXPECT_FALSE(LoadSettingsFile(path, settings, message)) << "byte " << at;
		EXPECT_EQ(message, unlock_failed) << "byte " << at;
	}
	std::vector<uint8_t> truncated(saved.begin(), saved.end() - 1);
	WriteBytes(file, truncated);
	PanelSettings settings;
	EXPECT_FALSE(LoadSettingsFile(path, settings, message));
	EXPECT_EQ(message, unlock_failed);
}

// The host's own log sees the failed loads too (a document that is not JSON
// is reported by libobs); none of its lines may carry a secret.
TEST_F(KeyringFile, NoLogLineHoldsASecret)
{
	static std::vector<std::string> lines;
	lines.clear();
	base_set_log_handler(
		[](int, const char *format, va_list args, void *) {
			char line[8192];
			vsnprintf(line, sizeof(line), format, args);
			lines.push_back(line);
		},
		nullptr);

	std::string message;
	PanelSettings settings;
	EXPECT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message));
	EXPECT_TRUE(LoadSettingsFile(path, settings, message));
	std::vector<uint8_t> damaged = ReadBytes(file);
	damaged.back() ^= 1;
	WriteBytes(file, damaged);
	EXPECT_FALSE(LoadSettingsFile(path, settings, message));
	// A document cut off inside the key, sealed as a save would seal it.
	const std::string cut = std::string("{\"version\": 1, \"key\": \"") + secret_key;
	std::vector<uint8_t> blob;
	ASSERT_TRUE(ProtectBytes(reinterpret_cast<const uint8_t *>(cut.data()), cut.size(), blob));
	std::vector<uint8_t> sealed = {'T', 'R', 'V', '1'};
	sealed.insert(sealed.end(), blob.begin(), blob.end());
	WriteBytes(file, sealed);
	EXPECT_FALSE(LoadSettingsFile(path, settings, message));
	EXPECT_EQ(message, "Unsupported settings version. The file has been left untouched.");
	base_set_log_handler(nullptr, nullptr);

	EXPECT_FALSE(lines.empty()) << "libobs reports the cut-off document";
	for (const char *secret : {secret_key, secret_password}) {
		for (const std::string &line : lines)
			EXPECT_EQ(line.find(secret), std::string::npos) << line;
	}
}

// Run with the session bus pointing nowhere, as on a desktop without a
// keyring service.
TEST(KeyringAbsent, NothingIsSavedAndNoFileOpens)
{
	if (KeyringExpected())
		GTEST_SKIP() << "runs only without a keyring (TORVANE_TEST_NO_KEYRING)";
	TempDir dir;
	const fs::path folder = dir.path / "config";
	const std::u16string path = Utf8ToWide((folder / "settings.dpapi").string());

	std::string message;
	EXPECT_FALSE(SaveSettingsFile(path, SettingsWithSecrets(), message));
	EXPECT_EQ(message, encrypt_failed);
	EXPECT_FALSE(fs::exists(folder)) << "the disk must not be touched";

	// A file from a session that had its keyring.
	fs::create_directories(folder);
	std::vector<uint8_t> bytes = {'T', 'R', 'V', '1', 1};
	bytes.resize(200, 0x5A);
	WriteBytes(folder / "settings.dpapi", bytes);
	PanelSettings settings = DefaultSettings();
	EXPECT_FALSE(LoadSettingsFile(path, settings, message));
	EXPECT_EQ(message, unlock_failed);
	EXPECT_EQ(ReadBytes(folder / "settings.dpapi"), bytes);
}
