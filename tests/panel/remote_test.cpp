// "Start all" and "Stop all" from outside the panel's window (hotkeys, OBS's
// own streaming, obs-websocket). libobs is not started, so every start that
// passes validation and the save ends at the engine's video check.
#include "panel/remote.h"
#include "settings/text.h"
#include "tests/support/system.h"

#include "fake_ui.h"

#include <gtest/gtest.h>

#include <filesystem>

// Only the module's toolkit knows the window slot; these tests never open one.
struct torvane::PanelWindowSlot {};

using namespace torvane;

namespace {

const std::string no_video = "OBS video and audio must be initialized first.";

class RemoteTest : public testing::Test {
protected:
	void SetUp() override
	{
		store.settings_path = Utf8ToWide(test::TestWorkDir() + "/settings.dpapi");
		store.settings = DefaultSettings();
		store.load_attempted = true;
		store.settings.destinations[1].key = "saved-key";
		store.settings.destinations[1].enabled = true;
	}
	void TearDown() override { engine.runs.clear(); }

	std::string SavedKey() const
	{
		PanelSettings loaded;
		std::string message;
		EXPECT_TRUE(LoadSettingsFile(store.settings_path, loaded, message)) << message;
		return loaded.destinations.at(1).key;
	}

	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	PanelWindowSlot slot;
	ControlPanel control{store, engine, nullptr, state, slot};
};

TEST_F(RemoteTest, WithoutAWindowTheModelIsSavedAndRefusalsWaitInTheStatusLine)
{
	std::string error;
	EXPECT_FALSE(RemoteStartAll(control, nullptr, error));
	EXPECT_EQ(error, no_video); // validation passed: no empty form was taken in
	EXPECT_EQ(SavedKey(), "saved-key");
	EXPECT_EQ(WideToUtf8(state.status_message), no_video);
	EXPECT_TRUE(state.status_error);

	std::filesystem::remove(WideToUtf8(store.settings_path));
	store.settings.destinations[1].enabled = false;
	EXPECT_FALSE(RemoteStartAll(control, nullptr, error));
	EXPECT_EQ(WideToUtf8(state.status_message), error);
	EXPECT_FALSE(std::filesystem::exists(WideToUtf8(store.settings_path)));
}

TEST_F(RemoteTest, WithAWindowTheTypedFormIsTakenAndNoBoxIsShown)
{
	FakeUi ui;
	Panel shown{ui, state, store, engine, nullptr};
	state.selected_index = 1;
	LoadForm(shown);
	ui.texts[id_key] = u"typed-key";
	ui.texts[id_bitrate] = u"4500";
	std::string error;
	EXPECT_FALSE(RemoteStartAll(control, &shown, error));
	EXPECT_EQ(error, no_video);
	EXPECT_EQ(SavedKey(), "typed-key");
	EXPECT_TRUE(ui.notices.empty());
}

} // namespace
