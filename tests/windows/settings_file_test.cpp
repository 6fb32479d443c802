// The Windows back end of the settings file: DPAPI as the store uses it and
// the Win32 file calls, under Wine. The platform-neutral cases of the store
// run in this program too (store_test.cpp).
#include <windows.h>
#include <dpapi.h>

#include <util/bmem.h>

#include "settings/protection.h"
#include "settings/store.h"
#include "settings/text.h"
#include "../settings/settings_testing.h"

#include <gtest/gtest.h>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

std::u16string Wide(const fs::path &path)
{
	const std::wstring native = path.wstring();
	return std::u16string(native.begin(), native.end());
}

} // namespace

TEST(DpapiSettingsFile, TheBlobIsDpapisWithTheProductDescription)
{
	TempDir dir;
	const fs::path file = dir.path / "settings.dpapi";
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(Wide(file), SettingsWithSecrets(), message)) << message;

	std::vector<uint8_t> bytes = ReadBytes(file);
	ASSERT_GT(bytes.size(), 4u);
	DATA_BLOB sealed = {static_cast<DWORD>(bytes.size() - 4), bytes.data() + 4};
	DATA_BLOB opened = {};
	LPWSTR description = nullptr;
	ASSERT_TRUE(CryptUnprotectData(&sealed, &description, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
				       &opened));
	EXPECT_STREQ(description, L"Torvane settings");
	const std::string json(reinterpret_cast<const char *>(opened.pbData), opened.cbData);
	EXPECT_EQ(json.find('\0'), std::string::npos) << "the document is stored without a terminator";
	EXPECT_EQ(json.rfind("{\"version\":1,", 0), 0u) << json;
	EXPECT_NE(json.find(secret_key), std::string::npos);
	SecureZeroMemory(opened.pbData, opened.cbData);
	LocalFree(opened.pbData);
	LocalFree(description);
}

// A damaged blob is refused and the file survives a whole module instance;
// the next instance with a good file reopens it.
TEST(DpapiSettingsFile, ADamagedBlobIsRefusedAndKept)
{
	TempDir dir;
	const fs::path file = dir.path / "settings.dpapi";
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(Wide(file), SettingsWithSecrets(), message)) << message;
	const std::vector<uint8_t> good = ReadBytes(file);

	for (size_t from_end : {1, 5, 20, 40}) {
		SCOPED_TRACE(from_end);
		std::vector<uint8_t> damaged = good;
		damaged[damaged.size() - from_end] ^= 0x5A;
		WriteBytes(file, damaged);
		PanelSettings settings = DefaultSettings();
		EXPECT_FALSE(LoadSettingsFile(Wide(file), settings, message));
		EXPECT_EQ(message, "Windows could not unlock these settings. Use the Windows account that saved them. "
				   "The file has been left untouched.");
		ExpectSameSettings(settings, DefaultSettings());
		EXPECT_EQ(ReadBytes(file), damaged);
	}

	WriteBytes(file, good);
	PanelSettings settings;
	ASSERT_TRUE(LoadSettingsFile(Wide(file), settings, message)) << message;
	ExpectSameSettings(settings, SettingsWithSecrets());
}

// The folder names of users with non-ASCII names reach CreateFileW intact.
TEST(DpapiSettingsFile, UnicodeFoldersRoundTrip)
{
	TempDir dir;
	const fs::path folder = dir.path / L"J\u00FCrgen \u914D\u4FE1" / L"obs-studio";
	const std::u16string path = Wide(folder / L"settings.dpapi");
	EXPECT_EQ(Utf8ToWide(WideToUtf8(path)), path);

	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
	EXPECT_TRUE(fs::exists(folder / L"settings.dpapi"));
	EXPECT_FALSE(fs::exists(folder / L"settings.dpapi.tmp"));
	PanelSettings settings;
	ASSERT_TRUE(LoadSettingsFile(path, settings, message)) << message;
	ExpectSameSettings(settings, SettingsWithSecrets());
}

// The helpers agree with the system's own UTF-8 conversion on valid text.
TEST(DpapiSettingsFile, TextHelpersAgreeWithTheSystem)
{
	for (const std::string text : {"rtmp://host/app", "caf\xC3\xA9", "\xE9\x85\x8D\xE4\xBF\xA1 \xF0\x9F\x8E\xA5"}) {
		const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
						       static_cast<int>(text.size()), nullptr, 0);
		std::wstring system(static_cast<size_t>(length), L'\0');
		MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
				    system.data(), length);
		EXPECT_EQ(Utf8ToWide(text), std::u16string(system.begin(), system.end()));
	}
}

// Two runs of this program, one saving and one loading the same file, show
// that what DPAPI protects stays readable for the account in a later process.
// The path comes from ctest; without it these cases skip.
namespace {

const char *SharedPath()
{
	return getenv("TORVANE_TEST_SHARED_SETTINGS");
}

} // namespace

TEST(DpapiAcrossProcesses, Save)
{
	if (!SharedPath())
		GTEST_SKIP() << "needs TORVANE_TEST_SHARED_SETTINGS";
	const std::u16string path = Utf8ToWide(SharedPath());
	std::error_code ignored;
	fs::remove(fs::path(SharedPath()), ignored);
	std::string message;
	ASSERT_TRUE(SaveSettingsFile(path, SettingsWithSecrets(), message)) << message;
}

TEST(DpapiAcrossProcesses, LoadInANewProcess)
{
	if (!SharedPath())
		GTEST_SKIP() << "needs TORVANE_TEST_SHARED_SETTINGS";
	SettingsStore store;
	static std::string path;
	path = SharedPath();
	EnsureSettingsLoaded(store, [] { return static_cast<char *>(bmemdup(path.c_str(), path.size() + 1)); });
	ASSERT_TRUE(store.usable) << store.load_error;
	ExpectSameSettings(store.settings, SettingsWithSecrets());
}
