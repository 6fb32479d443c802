// The settings rules that need no file. Which server URLs pass and which Kick
// URLs complete is held by the differential fuzzer in tests/fuzz.
#include "settings/config.h"
#include "settings/document.h"
#include "settings/kick.h"
#include "settings/protocol.h"
#include "settings/utf8.h"
#include "settings/validation.h"
#include "settings_testing.h"

using namespace torvane;
using torvane_testing::ExpectSameSettings;

namespace {

const std::string kick_host = std::string("fa723fc1b171.") + kick_ingest_domain;
const std::string kick_full = "rtmps://" + kick_host + ":443/app";
const std::string duplicate = "this server and key are already enabled in another destination.";
const std::string bad_server =
	"enter a valid rtmp:// or rtmps:// server URL with its app path. Keep the key in its own field.";

Destination D(std::string server = "rtmp://h/app", std::string key = "k", std::string platform = "Custom",
	      bool enabled = true)
{
	return Destination{"A", platform, server, key, "", "", enabled};
}

PanelSettings With(std::vector<Destination> list, int32_t bitrate = 4500, int32_t height = 1080, int32_t fps = 30)
{
	return PanelSettings{bitrate, height, fps, std::move(list)};
}

} // namespace

TEST(Text, Utf8ToWideIsStrictAndWideToUtf8Lenient)
{
	EXPECT_EQ(Utf8ToWide("caf\xC3\xA9 \xE9\x85\x8D \xF0\x9F\x8E\xA5"), u"caf\u00E9 \u914D \U0001F3A5");
	// Stray continuation, truncated, overlong, encoded surrogate, above U+10FFFF, never a lead byte.
	for (const char *bad : {"\x80", "\xC3", "\xE9\x85", "\xC0\x80", "\xE0\x80\xAF", "\xF0\x80\x80\xAF",
				"\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\xC3\x28"})
		EXPECT_EQ(Utf8ToWide(std::string("valid ") + bad), u"") << ::testing::PrintToString(std::string(bad));

	const std::string fffd = "\xEF\xBF\xBD";
	EXPECT_EQ(WideToUtf8(u"caf\u00E9 \U0001F3A5"), "caf\xC3\xA9 \xF0\x9F\x8E\xA5");
	EXPECT_EQ(WideToUtf8(std::u16string(u"a") + char16_t(0xD83C) + u"b"), "a" + fffd + "b");
}

TEST(Document, WritesItsFormatAndReadsBackWhatItWrote)
{
	// Kick servers are written completed; the model keeps what it holds.
	EXPECT_EQ(std::string(obs_data_get_json(SettingsToData(With({D("rtmps://" + kick_host, "k", "Kick")})))),
		  "{\"version\":1,\"bitrate\":4500,\"height\":1080,\"fps\":30,\"encoder\":\"obs_x264\","
		  "\"destinations\":[{\"name\":\"A\","
		  "\"platform\":\"Kick\",\"server\":\"" +
			  kick_full +
			  "\",\"key\":\"k\",\"username\":\"\",\"password\":\"\",\"enabled\":true}],"
			  "\"follow_obs_stream\":false}");

	PanelSettings loaded;
	std::string message;
	PanelSettings following = With({D(), D(), D()});
	following.follow_obs_stream = true;
	following.encoder = "ffmpeg_svt_av1";
	following.destinations[1].quality = OwnQuality{720, 0, 2500, ""}; // fps and encoder shared
	following.destinations[2].quality = OwnQuality{};                 // every member shared
	following.destinations[1].picture = {PictureKind::Scene, "Clean feed"};
	following.destinations[2].picture = {PictureKind::Vertical, ""}; // the centre of the program
	ASSERT_TRUE(SettingsFromData(obs_data_get_json(SettingsToData(following)), loaded, message));
	ExpectSameSettings(loaded, following);
	EXPECT_EQ(QualityOf(loaded, loaded.destinations[1]), (Quality{720, 30, 2500, "ffmpeg_svt_av1"}));
	EXPECT_NE(std::string(obs_data_get_json(SettingsToData(loaded)))
			  .find("\"quality\":{\"height\":720,\"bitrate\":2500}"),
		  std::string::npos);
	// Missing members read as empty; members of no meaning are not kept.
	ASSERT_TRUE(SettingsFromData(
		"{\"version\": 1, \"bitrate\": 3000, \"extra\": 1, \"destinations\": [{\"x\": 2}]}", loaded, message));
	ExpectSameSettings(loaded, With({Destination()}, 3000));
	EXPECT_EQ(std::string(obs_data_get_json(SettingsToData(loaded))).find("\"x\""), std::string::npos);
}

TEST(Document, RefusesWhatALoadMustNotAcceptAndKeepsTheTarget)
{
	const auto doc = [](const std::string &members, size_t count = 1) {
		std::string json = "{\"version\": 1, " + members + ", \"destinations\": [";
		for (size_t i = 0; i < count; i++)
			json += i ? ",{}" : "{}";
		return json + "]}";
	};
	const auto own = [](const std::string &quality) {
		return "{\"version\": 1, \"bitrate\": 4500, \"destinations\": [{\"quality\": " + quality + "}]}";
	};
	PanelSettings loaded;
	std::string message;
	ASSERT_TRUE(SettingsFromData(doc("\"bitrate\": 1000", 0).c_str(), loaded, message));
	ExpectSameSettings(loaded, With({}, 1000, 1080, 30)); // height and fps have defaults
	ASSERT_TRUE(SettingsFromData(doc("\"bitrate\": 8000, \"height\": 720, \"fps\": 60", 1000).c_str(), loaded,
				     message));
	ExpectSameSettings(loaded, With(std::vector<Destination>(1000), 8000, 720, 60));

	const char *const unsupported = "Unsupported settings version. The file has been left untouched.";
	const char *const invalid = "Invalid settings. The file has been left untouched.";
	const std::pair<std::string, const char *> cases[] = {
		{doc("\"bitrate\": 4500", 1001), invalid},
		{doc("\"height\": 1080"), invalid},        // a missing bitrate reads 0
		{doc("\"bitrate\": 4294971796"), invalid}, // 2^32 + 4500 must not narrow to 4500
		{doc("\"bitrate\": 4500, \"height\": 0"), invalid},
		{doc("\"bitrate\": 4500, \"fps\": 4294967326"), invalid},
		{doc("\"bitrate\": 4500, \"encoder\": \"\""), invalid},
		{doc("\"bitrate\": 4500, \"encoder\": \"x264 --opts\""), invalid},
		{own("5"), invalid},
		{own("{\"fps\": 24}"), invalid},
		{own("{\"bitrate\": 9000}"), invalid},
		{own("{\"height\": 480}"), invalid},
		{own("{\"encoder\": 7}"), invalid},
		{"{\"version\": 1, \"bitrate\": 4500, \"destinations\": [{\"picture\": {\"kind\": \"square\"}}]}",
		 invalid},
		{"{\"version\": 1, \"bitrate\": 4500, \"destinations\": [{\"picture\": {\"kind\": \"scene\"}}]}",
		 invalid},
		{"{\"version\": 1, \"bitrate\": 4500}", invalid},
		{"not json", unsupported},
		{"{\"version\": 2, \"bitrate\": 4500, \"destinations\": []}", unsupported}};
	for (const auto &[json, refusal] : cases) {
		SCOPED_TRACE(json.substr(0, 80));
		PanelSettings target = torvane_testing::SettingsWithSecrets();
		EXPECT_FALSE(SettingsFromData(json.c_str(), target, message));
		EXPECT_EQ(message, refusal);
		ExpectSameSettings(target, torvane_testing::SettingsWithSecrets());
	}
}

TEST(Validation, NamesTheFirstProblem)
{
	// Every check of `no_name` fails; the first in order is named.
	const Destination no_name = {"", "Custom", "ftp://x", "", "", "p", true};
	// A destination's own quality counts ticked or not: a save must not write
	// what a load refuses.
	PanelSettings own_bitrate = With({D(), D("rtmp://h/app", "k2", "Custom", false)});
	own_bitrate.destinations[1].quality = OwnQuality{720, 0, 9000, ""};
	PanelSettings own_encoder = With({D()});
	own_encoder.destinations[0].quality = OwnQuality{0, 60, 0, "a b"};
	const std::pair<PanelSettings, std::string> cases[] = {
		{own_bitrate, "Destination 2: Video bitrate must be between 1000 and 8000 kbps."},
		{own_encoder, "Destination 1: Choose a video encoder."},
		{With({D()}, 999), "Video bitrate must be between 1000 and 8000 kbps."},
		{With({D()}, 1000, 720, 60), ""},
		{With({D()}, 8000, 1080, 30), ""},
		{With({D()}, 8001), "Video bitrate must be between 1000 and 8000 kbps."},
		{With({}, 1000, 900, 24), "Choose 720p or 1080p output."},
		{With({no_name}, 1000, 720, 24), "Choose a frame-rate limit of 30 or 60 fps."},
		{DefaultSettings(), "Enable at least one destination using its checkbox."},
		{With({D("x", "", "", false), D("x", "", "", false), no_name, D("x", "", "", false)}),
		 "Destination 3: enter a name."},
		{With({D("ftp://x", "")}), "Destination 1: " + bad_server},
		{With({{"A", "Custom", "rtmp://h/app", "", "", "p", true}}), "Destination 1: enter a stream key."},
		{With({D("rtmp://h/app", "x://y")}), "Destination 1: paste only the stream key into the key field."},
		{With({D("rtmp://h/app", "a:/b\v\f\xC2\xA0")}), ""}, // only \r\n\t and space count
		{With({{"A", "Custom", "rtmp://h/app", "k", "", " ", true}}),
		 "Destination 1: a server password requires a username."},
		{With({{"A", "Custom", "rtmp://h/app", "k", "me", "", true}}), ""},
		// Judged completed; the platform is matched whole, in any letter case.
		{With({D("rtmps://" + kick_host, "k", "kICK")}), ""},
		{With({D("rtmps://" + kick_host, "k", "Kick ")}), "Destination 1: " + bad_server},
		{With({D("rtmps://" + kick_host + " ", "k", "Kick")}), "Destination 1: " + bad_server},
		// Duplicates: trailing slashes ignored, the later one named by its place in the whole list.
		{With({D("rtmp://h/app///"), D("", "", "", false), D("rtmp://h/app/")}), "Destination 3: " + duplicate},
		{With({D("rtmp://h/app", "live/k"), D("rtmp://h/app/live", "k")}), "Destination 2: " + duplicate},
		{With({D("rtmps://ABC." + std::string(kick_ingest_domain), "k", "Kick"),
		       D("rtmps://abc." + std::string(kick_ingest_domain) + ":443/app/", "k", "kick")}),
		 "Destination 2: " + duplicate},
		{With({D("rtmp://h/app", "K"), D("rtmp://h/app", "k"), D("rtmp://H/app"), D("rtmps://h/app")}), ""},
		{With({D("rtmp://h/app", "k", "Custom", false), D(), D("rtmp://h/app", "k", "Custom", false)}), ""}};
	for (const char *key : {"k ", "k\n", "\rk", "k\tk", "rtmp://h/app/k x"})
		EXPECT_EQ(ValidateSettings(With({D("rtmp://h/app", key)})),
			  "Destination 1: the stream key contains whitespace. Paste it again.");
	for (const auto &[settings, expected] : cases)
		EXPECT_EQ(ValidateSettings(settings), expected);
}

// SRT and RIST: port required, key optional, SRT's passphrase 10 to 79 bytes
// without a user; a pasted URL's secrets move to their fields, its options stay.
TEST(Validation, SrtAndRistServersAndTheirSecrets)
{
	const auto one = [](const char *server, const std::string &password, const char *user = "") {
		return ValidateSettings(With({{"A", "Custom", server, "", user, password, true}}));
	};
	const std::string length = "Destination 1: an SRT passphrase must be 10 to 79 characters.";
	EXPECT_EQ(one("SRT://h:9000?latency=200", std::string(79, 'p')) + one("rist://[::1]:9000/", "pw", "me"), "");
	EXPECT_EQ(one("srt://h/?x=1", ""), "Destination 1: add the port to the server URL, as in srt://host:9000.");
	EXPECT_EQ(one("srt://h:9000/live", "").substr(0, 37), "Destination 1: enter a valid srt:// o");
	EXPECT_EQ(one("srt://h:9000", std::string(9, 'p')) + one("srt://h:9000", std::string(80, 'p')),
		  length + length);
	EXPECT_EQ(one("rist://h:9000", "pw"), "Destination 1: a server password requires a username.");

	Destination d = D("srt://h:9000?latency=200&streamid=%23!::r=live&passphrase=0123456789&mode=caller");
	EXPECT_TRUE(MoveUrlSecrets(d));
	EXPECT_EQ(d.server + " " + d.key + " " + d.password,
		  "srt://h:9000?latency=200&mode=caller #!::r=live 0123456789");
}

// Loaded values have no length limit: a backtracking scan would exhaust the stack.
TEST(KickCompletion, FourMebibyteValuesAreJudgedInOnePass)
{
	const std::string long_text(4u << 20, 'a');
	EXPECT_EQ(ValidateSettings(With({D("rtmp://h/" + long_text)})), "");
	EXPECT_EQ(ValidateSettings(With({D("rtmps://[" + std::string(4u << 20, ':') + "/x")})),
		  "Destination 1: " + bad_server);
	EXPECT_EQ(CompleteKickServer(D("rtmps://" + long_text + "." + kick_ingest_domain + "/app/", "k", "Kick")),
		  "rtmps://" + long_text + "." + kick_ingest_domain + ":443/app");
}
