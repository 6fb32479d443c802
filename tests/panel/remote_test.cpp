// Where the real OBS test does not reach: no window, no message box, bad requests.
// Without libobs started, every start that passes the save ends at the video check.
#include "module/requests.h"
#include "panel/remote.h"
#include "settings/text.h"
#include "tests/support/system.h"

#include "fake_ui.h"

#include <gtest/gtest.h>

#include <filesystem>

struct torvane::PanelWindowSlot {}; // the toolkit's, never used here

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
	std::string SavedKey() const // empty when nothing was saved
	{
		PanelSettings loaded;
		std::string message;
		return LoadSettingsFile(store.settings_path, loaded, message) ? loaded.destinations.at(1).key : "";
	}

	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	PanelWindowSlot slot;
	ControlPanel control{store, engine, nullptr, state, slot};
	std::string error;
};

TEST_F(RemoteTest, StartAllSavesWhatTheUserSeesAndRefusesOnlyInTheStatusLine)
{
	// No window: the model is saved as it is, no empty form taken in.
	EXPECT_FALSE(RemoteStartAll(control, nullptr, error));
	EXPECT_EQ(error, no_video);
	EXPECT_EQ(SavedKey(), "saved-key");
	EXPECT_EQ(WideToUtf8(state.status_message), no_video);

	// A window: its typed form is taken, and no message box is shown.
	FakeUi ui;
	Panel shown{ui, state, store, engine, nullptr};
	state.selected_index = 1;
	LoadForm(shown);
	ui.texts[id_key] = u"typed-key";
	ui.texts[id_bitrate] = u"4500"; // the quality row is not part of LoadForm
	EXPECT_FALSE(RemoteStartAll(control, &shown, error));
	EXPECT_EQ(SavedKey(), "typed-key");
	EXPECT_TRUE(ui.notices.empty());
}

TEST_F(RemoteTest, BadRequestsGetOneSentenceAndChangeNothing)
{
	const std::u16string status = state.status_message;
	auto answer = [this](const char *name, const char *json) {
		OBSDataAutoRelease data = json ? obs_data_create_from_json(json) : nullptr;
		OBSDataAutoRelease response = obs_data_create();
		AnswerRequest(name, data, response, control, nullptr, nullptr);
		return std::string(obs_data_get_json(response));
	};
	for (const char *name : {"StartDestination", "StopDestination", "Nope"})
		for (const char *json : {(const char *)nullptr, "{}", "{\"index\": \"1\"}", "{\"index\": 1.5}",
					 "{\"index\": -1}", "{\"index\": 4}"})
			EXPECT_EQ(answer(name, json).rfind("{\"ok\":false,\"error\":\"", 0), 0u) << name << json;
	EXPECT_EQ(state.status_message, status);
	EXPECT_EQ(SavedKey(), "");
	EXPECT_NE(answer("StartDestination", "{\"index\": 1}").find(no_video), std::string::npos);
}

} // namespace
