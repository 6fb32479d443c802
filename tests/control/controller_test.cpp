// The commands every way of driving Torvane shares, without a window: codes,
// sentences, what each keeps, and the row actions.
#include "control/controller.h"
#include "control/relay.h"
#include "module/requests.h"
#include "settings/texts.h"
#include "settings/utf8.h"
#include "tests/support/destinations.h"
#include "tests/support/system.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace torvane;

namespace {

class ControllerTest : public testing::Test {
protected:
	void SetUp() override
	{
		store.settings_path = Utf8ToWide(test::TestWorkDir() + "/settings.dpapi");
		store.settings = DefaultSettings();
		store.load_attempted = true;
	}
	void TearDown() override { engine.runs.clear(); }
	bool Saved() const { return std::filesystem::exists(WideToUtf8(store.settings_path)); }

	SettingsStore store;
	MultistreamEngine engine;
	Controller controller{store, engine, nullptr, nullptr};
};

TEST_F(ControllerTest, RefusalsCarryACodeASentenceAndTheStatusLine)
{
	Outcome outcome = StartAll(controller);
	EXPECT_EQ(outcome.code, Refusal::InvalidSettings);
	EXPECT_EQ(outcome.sentence, "Enable at least one destination using its checkbox.");
	EXPECT_TRUE(controller.status.error && controller.status.text == outcome.sentence);
	EXPECT_FALSE(Saved());

	store.settings.destinations[1].key = "live_123";
	ASSERT_TRUE(SetIncluded(controller, 1, true).Ok());
	outcome = StartAll(controller);
	EXPECT_EQ(outcome.code, Refusal::StartFailed) << "saved, then the engine refuses without a host";
	EXPECT_TRUE(Saved());
	EXPECT_STREQ(RefusalCode(outcome.code), "start_failed");

	EXPECT_EQ(StopDestination(controller, 1).code, Refusal::NotStreaming);
	EXPECT_EQ(StopDestination(controller, 1).sentence, "The destination at index 1 is not streaming.");
	EXPECT_EQ(StartDestination(controller, 9).code, Refusal::NoSuchDestination);

	store.settings.bitrate = 999;
	EXPECT_EQ(Save(controller).sentence, "Enter a video bitrate between 1000 and 8000 kbps.");
	store.usable = false;
	store.load_error = "unreadable";
	EXPECT_EQ(Save(controller).code, Refusal::SettingsUnusable);
	EXPECT_EQ(EditDestination(controller, 0, Field::Key, "x").code, Refusal::SettingsUnusable);
	EXPECT_EQ(store.settings.destinations[0].key, "") << "a refused edit changes nothing";
}

// What an obs-websocket client sends as "index": only a whole number naming a destination is acted on.
TEST_F(ControllerTest, RequestsReadTheIndexAndAnswerACode)
{
	const std::pair<const char *, const char *> answers[] = {{"{}", "needs_index"},
								 {R"({"index": "1"})", "needs_index"},
								 {R"({"index": 1.5})", "needs_index"},
								 {R"({"index": -1})", "no_such_destination"},
								 {R"({"index": 4})", "no_such_destination"},
								 {R"({"index": 1})", "not_streaming"}};
	for (const auto &[data, code] : answers) {
		OBSDataAutoRelease request = obs_data_create_from_json(data), response = obs_data_create();
		AnswerRequest("StopDestination", request, response, controller);
		EXPECT_FALSE(obs_data_get_bool(response, "ok")) << data;
		EXPECT_STREQ(obs_data_get_string(response, "code"), code) << data;
	}
	OBSDataAutoRelease response = obs_data_create();
	AnswerRequest("StartDestination", nullptr, response, controller);
	EXPECT_STREQ(obs_data_get_string(response, "error"),
		     "StartDestination needs \"index\", a whole number: the destination's place in the list, from 0.");
}

TEST_F(ControllerTest, EditsAreTrimmedExceptThePasswordAndFrozenWhileStreaming)
{
	ASSERT_TRUE(EditDestination(controller, 0, Field::Name, " \tMy channel\r\n").Ok());
	EditDestination(controller, 0, Field::Password, " secret ");
	EXPECT_EQ(store.settings.destinations[0].name, "My channel");
	EXPECT_EQ(store.settings.destinations[0].password, " secret ");

	test::AddRun(engine, 2, DestinationState::Sending);
	EXPECT_EQ(SetIncluded(controller, 0, true).code, Refusal::Busy);
	EXPECT_EQ(AddCustomDestination(controller).code, Refusal::Busy);
	EXPECT_EQ(RemoveDestination(controller, 0).code, Refusal::Busy);
	EXPECT_EQ(store.settings.destinations.size(), 4u);
	engine.runs.clear();

	store.settings.destinations.resize(max_saved_destinations);
	EXPECT_EQ(AddCustomDestination(controller).sentence, "You can add at most 1000 destinations.");
}

// Hotkeys, obs-websocket and OBS's own stream: a sentence stays unless something stops, and only a stop
// the user asked for in OBS stops Torvane.
TEST_F(ControllerTest, RemoteStopAndObsStreamKeepWhatTheyDoNotStop)
{
	controller.status = {"Something failed.", true};
	EXPECT_TRUE(StopAll(controller).Ok());
	EXPECT_EQ(controller.status.text, "Something failed.") << "nothing to stop";

	store.settings.follow_obs_stream = true;
	test::AddRun(engine, 0, DestinationState::Sending);
	FollowObsStreaming(controller, ObsStream::Started);
	EXPECT_EQ(controller.status.text, "Something failed.") << "already streaming: no refusal";
	FollowObsStreaming(controller, ObsStream::Ended);
	EXPECT_EQ(engine.GetStats(0).state, DestinationState::Sending);
	EXPECT_EQ(controller.status.text, Tr(Txt::ObsStreamEnded));
	FollowObsStreaming(controller, ObsStream::Stopped);
	EXPECT_EQ(controller.status.text, Tr(Txt::Stopping));

	controller.status.error = true;
	StopForHost(controller);
	EXPECT_EQ(controller.status.text, Tr(Txt::HostStopped));
	EXPECT_TRUE(controller.status.error) << "the error colour stays";
	EXPECT_FALSE(engine.IsBusy());
}

TEST_F(ControllerTest, ARowStartSavesFirstAndNothingIsOfferedThatTheEngineWouldRefuse)
{
	for (Destination &d : store.settings.destinations)
		d.enabled = true;
	EXPECT_TRUE(RunRowAction(controller, 1, RowAction::Stop).Ok());
	EXPECT_FALSE(Saved()) << "a stale action does nothing";
	// Like Start all: the Kick URL completed, saved, the refusal reported.
	store.settings.destinations[2].server = "rtmps://fa723fc1b171.global-contribute.live-video.net";
	const Outcome outcome = RunRowAction(controller, 2, RowAction::Start);
	EXPECT_EQ(store.settings.destinations[2].server,
		  "rtmps://fa723fc1b171.global-contribute.live-video.net:443/app");
	EXPECT_TRUE(Saved());
	EXPECT_EQ(outcome.code, Refusal::StartFailed) << "without a host the engine refuses";

	// A stopping row takes nothing; settings that can't be saved start nothing.
	test::AddRun(engine, 0, DestinationState::Stopping);
	test::AddRun(engine, 1, DestinationState::Failed);
	EXPECT_EQ(RowActionFor(controller, 1), RowAction::Retry);
	engine.runs.back()->state = DestinationState::Sending;
	store.usable = false;
	const RowAction offered[] = {RowAction::None, RowAction::Stop, RowAction::None, RowAction::None};
	for (size_t row = 0; row < 4; row++)
		EXPECT_EQ(RowActionFor(controller, row), offered[row]) << row;

	const Snapshot snapshot = TakeSnapshot(controller);
	EXPECT_EQ(snapshot.rows.size(), 4u);
	EXPECT_TRUE(snapshot.busy && !snapshot.may_edit);
	EXPECT_EQ(snapshot.enabled, 4u);
}

// Own quality starts as a copy of the shared one; every quality edit reaches the shared or the one
// destination's, the save checks both bitrates, and the row, budget and output line follow.
TEST_F(ControllerTest, OwnQualityCopiesTheSharedOneAndIsEditedApart)
{
	store.settings.bitrate = 2500;
	ASSERT_TRUE(SetOwnQuality(controller, 1, true).Ok());
	ASSERT_TRUE(SetBitrate(controller, 6000).Ok());
	SetHeight(controller, 720, 1);
	SetEncoder(controller, hardware_h264_encoder, 1);
	const Quality own = QualityOf(store.settings, store.settings.destinations[1]);
	EXPECT_EQ(own, (Quality{720, 30, 2500, hardware_h264_encoder})) << "a copy, not the shared values";
	EXPECT_EQ(store.settings.height, 1080);
	EXPECT_EQ(store.settings.encoder, "obs_x264");

	SetBitrate(controller, 0, 1); // a typed text that is no number
	EXPECT_EQ(Save(controller).sentence, "Enter a video bitrate between 1000 and 8000 kbps.");
	SetBitrate(controller, 2500, 1);
	store.settings.destinations[0].enabled = store.settings.destinations[1].enabled = true;
	controller.video_info = [](obs_video_info *video) {
		video->output_width = 1920, video->output_height = 1080, video->fps_num = 60, video->fps_den = 1;
		return true;
	};
	const Snapshot snapshot = TakeSnapshot(controller, 1);
	EXPECT_EQ(snapshot.upload_budget, "11.0 Mbps");
	EXPECT_EQ(snapshot.output.size.height, 720u);
	EXPECT_EQ(TakeSnapshot(controller).output.size.height, 1080u);
	EXPECT_EQ(snapshot.rows[1].quality, "720p30 \u00B7 2,500 kbps");
	EXPECT_EQ(snapshot.rows[0].quality, "");

	test::AddRun(engine, 1, DestinationState::Sending);
	EXPECT_EQ(SetFps(controller, 60, 1).code, Refusal::Busy);
	EXPECT_EQ(SetEncoder(controller, "obs_qsv11", 1).code, Refusal::Busy);
	EXPECT_EQ(SetOwnQuality(controller, 1, false).code, Refusal::Busy);
	engine.runs.clear();
	ASSERT_TRUE(SetOwnQuality(controller, 1, false).Ok());
	EXPECT_FALSE(store.settings.destinations[1].quality);

	// A stored choice this OBS lacks still shows, after the hardware choice.
	const std::vector<EncoderChoice> choices = EncoderChoices("ffmpeg_gone");
	ASSERT_GE(choices.size(), 2u);
	EXPECT_EQ(choices.back().name, "ffmpeg_gone");
	EXPECT_EQ(choices.end()[-2].name, Tr(Txt::HardwareH264));
}

TEST_F(ControllerTest, LiveFiguresGroupThousandsAndCountReconnects)
{
	const Destination &d = store.settings.destinations[0];
	store.settings.destinations[0].enabled = true;
	EXPECT_EQ(LiveFigure(d, {DestinationState::Sending, 0, 0, 123456}), "123,456 kbps");
	EXPECT_EQ(LiveFigure(d, {DestinationState::Reconnecting, 0, 0, 0, 3, 20, 2}),
		  "attempt 3 of 20 \u00B7 next in 2 s");
}

} // namespace

// While the relay is on, Start all refuses what the relay cannot carry by the
// destination's number, a single destination neither starts nor stops, and the
// budget counts one upload. The configuration refuses a key that could break
// it, and the statistics page names each push apart, duplicates included.
TEST_F(ControllerTest, TheRelayRefusesWhatItCannotCarryAndReadsEachPushApart)
{
	PanelSettings &s = store.settings;
	s.destinations = {test::Loopback("A", 1940), test::Loopback("B", 1940), test::Loopback("C", 1941)};
	s.destinations[2].server = "rtmps://live.example:443/app";
	s.relay = {true, "rtmp://relay.example/live", "relay-key-0123456789", ""};
	PanelSettings one = s;
	one.destinations.resize(1);
	EXPECT_EQ(UploadBudgetOf(controller), UploadBudgetText(one)) << "one upload, whatever the destinations";
	ASSERT_TRUE(SetOwnQuality(controller, 1, true).Ok());
	Outcome outcome = StartAll(controller);
	EXPECT_EQ(outcome.code, Refusal::InvalidSettings);
	EXPECT_EQ(outcome.sentence.substr(0, 38), "Destination 2: it has a quality of its");
	EXPECT_FALSE(Saved());
	EXPECT_EQ(StartDestination(controller, 0).code, Refusal::RelayOn);
	EXPECT_EQ(RowActionFor(controller, 0), RowAction::None);

	s.destinations[1].quality.reset();
	s.destinations[1].picture = {PictureKind::Vertical, ""};
	EXPECT_EQ(MakeRelayFiles(s).problem.substr(0, 30), "Destination 2: it has a pictur");
	s.destinations[1].picture = {};
	s.destinations[2].platform = "Kick";
	EXPECT_EQ(RelayUpload(s).destinations[0].platform, "Kick") << "Kick's limits bind the one encode";
	s.destinations[0].key = "a;b";
	EXPECT_EQ(MakeRelayFiles(s).problem.substr(0, 18), "Destination 1: its");
	s.destinations[0].key = "key-A";
	const RelayFiles files = MakeRelayFiles(s);
	ASSERT_EQ(files.problem, "");
	EXPECT_NE(files.config.find("push rtmp://127.0.0.1:1939/app playPath=key-C;"), std::string::npos);
	EXPECT_NE(files.config.find("proxy_ssl_name live.example;"), std::string::npos);
	s.relay.stats_path = "/stat-0; allow all";
	EXPECT_EQ(MakeRelayFiles(s).config.find("rtmp_stat"), std::string::npos) << "only a path of its own making";
	s.relay.stats_path = NewRelayStatsPath();
	EXPECT_TRUE(IsRelayStatsPath(s.relay.stats_path) && s.relay.stats_path != NewRelayStatsPath());
	EXPECT_NE(MakeRelayFiles(s).config.find("location = " + s.relay.stats_path + " {"), std::string::npos);
	s.relay.key = "short";
	EXPECT_EQ(MakeRelayFiles(s).problem, Tr(Txt::RelayKeyRule));

	const std::string stats = "<nginx_rtmp_version>1.1.4</nginx_rtmp_version><application><name>live</name><live>"
				  "<stream><name>torvane</name><bw_out>4000000</bw_out>"
				  "<client><address>127.0.0.1:1940/app</address><active/></client>"
				  "<client><address>127.0.0.1:1939/app</address><active/></client>"
				  "<client><address>10.0.0.1</address><publishing/><active/></client></stream>";
	std::string body; // a relay's answer, however short, is read and never past its end
	EXPECT_TRUE(HttpAnswerBody("HTTP/1.1 200 OK\r\n\r\n<x/>", body) && body == "<x/>");
	EXPECT_FALSE(HttpAnswerBody("\r\n\r\n", body) || HttpAnswerBody("HTTP/1.1 404 No\r\n\r\n", body));
	const RelayView view = ParseRelayStats(stats, s);
	ASSERT_TRUE(view.read && view.publishing);
	EXPECT_EQ(view.pushes[0].connected + view.pushes[1].connected * 2 + view.pushes[2].connected * 4, 5);
	EXPECT_EQ(view.pushes[2].kbps, 2000u);
}
