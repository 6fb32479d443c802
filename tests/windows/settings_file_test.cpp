// DPAPI as the settings file uses it and Win32's file calls, under Wine; the
// store's platform-neutral cases run in this program too (store_test.cpp).
#include "settings/store.h"
#include "settings/utf8.h"
#include "settings/windows/dpapi.h"

#include <util/bmem.h>

#include "../settings/settings_testing.h"

using namespace torvane;
using namespace torvane_testing;

namespace {

DWORD flags[2]; // what the save and the load ask DPAPI for, the top bit for entropy

// Hands on to the system's call, keeping the flags it was given.
template<int call, auto system, typename Text>
BOOL WINAPI Recorded(DATA_BLOB *in, Text text, DATA_BLOB *entropy, PVOID reserved, CRYPTPROTECT_PROMPTSTRUCT *prompt,
		     DWORD given, DATA_BLOB *out)
{
	flags[call] = given | (entropy ? 0x80000000u : 0);
	return system(in, text, entropy, reserved, prompt, given, out);
}

} // namespace

// The keys are bound to the user's account, never to the machine (Wine opens
// a machine-wide blob for anyone, so only the flags can tell), with no prompt
// and no entropy. The lane saves to a path of its own here and loads it again
// in a later process.
TEST(DpapiSettingsFile, TheBlobIsTheUsersAloneAndOpensInANewProcess)
{
	TempDir dir;
	static std::string path;
	const char *shared = getenv("TORVANE_TEST_SHARED_SETTINGS");
	path = shared ? shared : (dir.path / "settings.dpapi").string();
	std::string message;
	if (!getenv("TORVANE_TEST_LOAD_ONLY")) {
		dpapi_calls = {Recorded<0, CryptProtectData, LPCWSTR>, Recorded<1, CryptUnprotectData, LPWSTR *>};
		ASSERT_TRUE(SaveSettingsFile(Utf8ToWide(path), SettingsWithSecrets(), message)) << message;
		PanelSettings loaded;
		ASSERT_TRUE(LoadSettingsFile(Utf8ToWide(path), loaded, message)) << message;
		EXPECT_EQ(std::pair(flags[0], flags[1]),
			  std::pair(DWORD(CRYPTPROTECT_UI_FORBIDDEN), DWORD(CRYPTPROTECT_UI_FORBIDDEN)));
	}
	SettingsStore store;
	EnsureSettingsLoaded(store, [] { return bstrdup(path.c_str()); });
	ASSERT_TRUE(store.usable) << store.load_error;
	ExpectSameSettings(store.settings, SettingsWithSecrets());
}
