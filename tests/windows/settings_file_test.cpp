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

namespace {

// The flags the save and the load hand DPAPI, seen through the seam.
DWORD flags[2];
std::wstring description;

BOOL WINAPI RecordProtect(DATA_BLOB *in, LPCWSTR text, DATA_BLOB *entropy, PVOID reserved,
			  CRYPTPROTECT_PROMPTSTRUCT *prompt, DWORD given, DATA_BLOB *out)
{
	flags[0] = given | (entropy ? 0x80000000u : 0);
	description = text ? text : L"";
	return CryptProtectData(in, text, entropy, reserved, prompt, given, out);
}

BOOL WINAPI RecordUnprotect(DATA_BLOB *in, LPWSTR *text, DATA_BLOB *entropy, PVOID reserved,
			    CRYPTPROTECT_PROMPTSTRUCT *prompt, DWORD given, DATA_BLOB *out)
{
	flags[1] = given | (entropy ? 0x80000000u : 0);
	return CryptUnprotectData(in, text, entropy, reserved, prompt, given, out);
}

} // namespace

// The keys are bound to the user's account, never to the machine (Wine opens
// a machine-wide blob for anyone, so only the flags can tell), with no prompt,
// no entropy and the product's description. The lane saves to a path of its
// own here and loads it again in a later process.
TEST(DpapiSettingsFile, TheBlobIsTheUsersAloneAndOpensInANewProcess)
{
	TempDir dir;
	static std::string path;
	path = getenv("TORVANE_TEST_SHARED_SETTINGS") ? getenv("TORVANE_TEST_SHARED_SETTINGS")
						      : (dir.path / "settings.dpapi").string();
	if (!getenv("TORVANE_TEST_LOAD_ONLY")) {
		const DpapiCalls system = dpapi_calls;
		dpapi_calls = {RecordProtect, RecordUnprotect};
		std::string message;
		PanelSettings loaded;
		const bool saved = SaveSettingsFile(Utf8ToWide(path), SettingsWithSecrets(), message);
		const bool opened_again = LoadSettingsFile(Utf8ToWide(path), loaded, message);
		dpapi_calls = system;
		ASSERT_TRUE(saved && opened_again) << message;
		EXPECT_EQ(flags[0], DWORD(CRYPTPROTECT_UI_FORBIDDEN));
		EXPECT_EQ(flags[1], DWORD(CRYPTPROTECT_UI_FORBIDDEN));
		EXPECT_EQ(description, L"Torvane settings");
	}
	SettingsStore store;
	EnsureSettingsLoaded(store, [] { return static_cast<char *>(bmemdup(path.c_str(), path.size() + 1)); });
	ASSERT_TRUE(store.usable) << store.load_error;
	ExpectSameSettings(store.settings, SettingsWithSecrets());
}
