// The Windows back end of the settings file: DPAPI as the store uses it and
// the Win32 file calls, under Wine. The platform-neutral cases of the store
// run in this program too (store_test.cpp).
#include "settings/store.h"
#include "settings/text.h"
#include "settings/windows/dpapi.h"

#include <util/bmem.h>

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

namespace {

// What the save and the load hand DPAPI, seen through the seam.
DWORD protect_flags;
DWORD unprotect_flags;
bool protect_entropy;
std::wstring protect_description;

BOOL WINAPI RecordProtect(DATA_BLOB *in, LPCWSTR description, DATA_BLOB *entropy, PVOID reserved,
			  CRYPTPROTECT_PROMPTSTRUCT *prompt, DWORD flags, DATA_BLOB *out)
{
	protect_flags = flags;
	protect_entropy = entropy != nullptr;
	protect_description = description ? description : L"";
	return CryptProtectData(in, description, entropy, reserved, prompt, flags, out);
}

BOOL WINAPI RecordUnprotect(DATA_BLOB *in, LPWSTR *description, DATA_BLOB *entropy, PVOID reserved,
			    CRYPTPROTECT_PROMPTSTRUCT *prompt, DWORD flags, DATA_BLOB *out)
{
	unprotect_flags = flags;
	return CryptUnprotectData(in, description, entropy, reserved, prompt, flags, out);
}

} // namespace

// The keys are bound to the user's account, never to the machine (Wine
// opens a machine-wide blob for anyone, so only the flags can tell), with no
// prompt, no entropy and the product's description, and the document is
// stored without its terminator.
TEST(DpapiSettingsFile, TheBlobIsTheUsersAloneWithTheProductDescription)
{
	TempDir dir;
	const fs::path file = dir.path / "settings.dpapi";
	const DpapiCalls system = dpapi_calls;
	dpapi_calls = {RecordProtect, RecordUnprotect};
	protect_flags = unprotect_flags = ~DWORD(0);
	std::string message;
	PanelSettings loaded;
	const bool saved = SaveSettingsFile(Wide(file), SettingsWithSecrets(), message);
	const bool opened_again = LoadSettingsFile(Wide(file), loaded, message);
	dpapi_calls = system;
	ASSERT_TRUE(saved && opened_again) << message;
	EXPECT_EQ(protect_flags, DWORD(CRYPTPROTECT_UI_FORBIDDEN));
	EXPECT_EQ(unprotect_flags, DWORD(CRYPTPROTECT_UI_FORBIDDEN));
	EXPECT_FALSE(protect_entropy);
	EXPECT_EQ(protect_description, L"Torvane settings");

	std::vector<uint8_t> bytes = ReadBytes(file);
	DATA_BLOB sealed = {static_cast<DWORD>(bytes.size() - 4), bytes.data() + 4};
	DATA_BLOB opened = {};
	ASSERT_TRUE(
		CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &opened));
	const std::string json(reinterpret_cast<const char *>(opened.pbData), opened.cbData);
	EXPECT_EQ(json.find('\0'), std::string::npos);
	EXPECT_EQ(json.rfind("{\"version\":1,", 0), 0u) << json;
	LocalFree(opened.pbData);
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
