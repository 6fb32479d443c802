// Loads torvane.dll as OBS does on Windows and checks what it registers with
// the host, what it logs and that it unloads cleanly.
#include <windows.h>

#include <obs-module.h>

#include "stub_host.h"
#include "torvane_version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ModuleEntryPoints {
	void (*set_pointer)(obs_module_t *);
	uint32_t (*ver)(void);
	const char *(*name)(void);
	const char *(*description)(void);
	const char *(*author)(void);
	bool (*load)(void);
	void (*unload)(void);
};

template<typename T>
void Resolve(HMODULE dll, const char *name, T &function)
{
	function = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
	ASSERT_NE(function, nullptr) << name << " is not exported";
}

// Each test gets the DLL freshly loaded, so its static state starts anew.
class WindowsModule : public testing::Test {
protected:
	void SetUp() override
	{
		stub_obs_reset();
		stub_frontend_reset();
		dll = LoadLibraryW(L"torvane.dll");
		ASSERT_NE(dll, nullptr) << "LoadLibrary failed with error " << GetLastError();
		Resolve(dll, "obs_module_set_pointer", entry.set_pointer);
		Resolve(dll, "obs_module_ver", entry.ver);
		Resolve(dll, "obs_module_name", entry.name);
		Resolve(dll, "obs_module_description", entry.description);
		Resolve(dll, "obs_module_author", entry.author);
		Resolve(dll, "obs_module_load", entry.load);
		Resolve(dll, "obs_module_unload", entry.unload);
		entry.set_pointer(reinterpret_cast<obs_module_t *>(&fake_module));
	}

	void TearDown() override
	{
		if (dll)
			FreeLibrary(dll);
	}

	int fake_module = 0;
	HMODULE dll = nullptr;
	ModuleEntryPoints entry = {};
};

TEST_F(WindowsModule, AnswersTheHostsQuestions)
{
	EXPECT_STREQ(entry.name(), "Torvane");
	EXPECT_STREQ(entry.description(), "Local RTMP multistreaming without subscriptions.");
	EXPECT_STREQ(entry.author(), "Torvane contributors");
	EXPECT_EQ(entry.ver(), static_cast<uint32_t>(LIBOBS_API_VER));
	// Asking changes nothing in the host.
	EXPECT_EQ(stub_frontend_menu_count(), 0);
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);
	EXPECT_EQ(stub_obs_log_count(), 0);
}

TEST_F(WindowsModule, LoadRegistersTheMenuEntryAndEventCallbackAndLogsTheBannerOnce)
{
	ASSERT_TRUE(entry.load());

	ASSERT_EQ(stub_frontend_menu_count(), 1);
	EXPECT_STREQ(stub_frontend_menu_text(0), "Torvane \xE2\x80\x94 Multistream");
	EXPECT_NE(stub_frontend_menu_callback(0), nullptr);
	EXPECT_NE(stub_frontend_menu_data(0), nullptr) << "the entry carries the panel's objects";

	ASSERT_EQ(stub_frontend_event_callback_count(), 1);
	EXPECT_EQ(stub_frontend_event_callback_data(0), nullptr);

	ASSERT_EQ(stub_obs_log_count(), 1);
	EXPECT_EQ(stub_obs_log_level(0), LOG_INFO);
	EXPECT_EQ(std::string(stub_obs_log_text(0)),
		  std::string("[Torvane] Loaded v") + torvane::torvane_version + " (Windows). No automatic streaming.");

	// GDI+ is running while the module is loaded.
	EXPECT_NE(GetModuleHandleW(L"gdiplus.dll"), nullptr);

	entry.unload();
}

// The panel window itself is tested under Xvfb (panel_window_test.cpp).
TEST_F(WindowsModule, HostEventsWithNoPanelLogNothingAndKeepTheModuleRegistered)
{
	ASSERT_TRUE(entry.load());
	for (obs_frontend_event event :
	     {OBS_FRONTEND_EVENT_PROFILE_CHANGED, OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGED,
	      OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING, OBS_FRONTEND_EVENT_PROFILE_CHANGING,
	      OBS_FRONTEND_EVENT_SCRIPTING_SHUTDOWN, OBS_FRONTEND_EVENT_EXIT})
		stub_frontend_raise(event);

	EXPECT_EQ(stub_obs_log_count(), 1) << "only the banner is ever logged";
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	entry.unload();
}

TEST_F(WindowsModule, UnloadRemovesTheEventCallbackAndTheDllUnloadsCleanly)
{
	ASSERT_TRUE(entry.load());
	entry.unload();
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);

	// Events after unload reach nothing.
	stub_frontend_raise(OBS_FRONTEND_EVENT_EXIT);

	ASSERT_TRUE(FreeLibrary(dll));
	dll = nullptr;
	EXPECT_EQ(GetModuleHandleW(L"torvane.dll"), nullptr) << "something still holds the module";
	EXPECT_EQ(stub_obs_log_count(), 1);
}

TEST_F(WindowsModule, LoadsAgainAfterAnUnload)
{
	ASSERT_TRUE(entry.load());
	entry.unload();
	ASSERT_TRUE(entry.load());
	EXPECT_EQ(stub_frontend_event_callback_count(), 1);
	EXPECT_EQ(stub_obs_log_count(), 2);
	entry.unload();
	EXPECT_EQ(stub_frontend_event_callback_count(), 0);
}

} // namespace
