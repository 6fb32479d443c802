#include "settings/document.h"
#include "settings_testing.h"

#include <gtest/gtest.h>

using namespace torvane;
using torvane_testing::ExpectSameSettings;

namespace {

const char *const unsupported = "Unsupported settings version. The file has been left untouched.";
const char *const invalid = "Invalid settings. The file has been left untouched.";

std::string ToJson(const PanelSettings &settings)
{
	return obs_data_get_json(SettingsToData(settings));
}

// A document with `count` minimal destinations and the given quality members.
std::string DocumentWith(size_t count, const std::string &quality = "\"bitrate\": 4500")
{
	std::string json = "{\"version\": 1, " + quality + ", \"destinations\": [";
	for (size_t i = 0; i < count; i++)
		json += std::string(i ? "," : "") + "{\"name\": \"d" + std::to_string(i) + "\", \"enabled\": true}";
	return json + "]}";
}

// A settings value that differs from every document below, so that a
// rejection that still touched the target shows.
PanelSettings Sentinel()
{
	PanelSettings s;
	s.bitrate = 1234;
	s.height = 720;
	s.fps = 60;
	s.destinations.push_back(MakeCustomDestination(41));
	s.destinations[0].key = "keep me";
	return s;
}

} // namespace

TEST(SettingsDocument, RoundTripsDefaultsUnicodeAndSecrets)
{
	for (const PanelSettings &original : {DefaultSettings(), torvane_testing::SettingsWithSecrets()}) {
		PanelSettings loaded = Sentinel();
		std::string message = "stale";
		ASSERT_TRUE(SettingsFromData(ToJson(original).c_str(), loaded, message)) << message;
		ExpectSameSettings(loaded, original);
	}

	PanelSettings unicode;
	unicode.destinations.push_back(MakeCustomDestination(0));
	unicode.destinations[0].name = "\xE9\x85\x8D\xE4\xBF\xA1 \xF0\x9F\x8E\xA5 \"quoted\" \\ back\nline";
	unicode.destinations[0].key = "\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87";
	unicode.destinations[0].platform = "Owncast \xE2\x9C\x93";
	PanelSettings loaded;
	std::string message;
	ASSERT_TRUE(SettingsFromData(ToJson(unicode).c_str(), loaded, message)) << message;
	ExpectSameSettings(loaded, unicode);
}

TEST(SettingsDocument, WritesTheMembersInDocumentOrder)
{
	const std::string json = ToJson(torvane_testing::SettingsWithSecrets());
	const char *const order[] = {"\"version\"",      "\"bitrate\"",  "\"height\"",   "\"fps\"",
				     "\"destinations\"", "\"name\"",     "\"platform\"", "\"server\"",
				     "\"key\"",          "\"username\"", "\"password\"", "\"enabled\""};
	size_t at = 0;
	for (const char *member : order) {
		const size_t found = json.find(member, at);
		ASSERT_NE(found, std::string::npos) << member << " missing or out of order in " << json;
		at = found;
	}
	EXPECT_NE(json.find("\"version\":1"), std::string::npos) << json;
}

TEST(SettingsDocument, ListSizeLimits)
{
	PanelSettings loaded = Sentinel();
	std::string message;
	ASSERT_TRUE(SettingsFromData(DocumentWith(0).c_str(), loaded, message)) << message;
	EXPECT_TRUE(loaded.destinations.empty());
	EXPECT_EQ(loaded.bitrate, 4500);

	ASSERT_TRUE(SettingsFromData(DocumentWith(1000).c_str(), loaded, message)) << message;
	ASSERT_EQ(loaded.destinations.size(), 1000u);
	EXPECT_EQ(loaded.destinations[999].name, "d999");
	EXPECT_TRUE(loaded.destinations[999].enabled);

	loaded = Sentinel();
	EXPECT_FALSE(SettingsFromData(DocumentWith(1001).c_str(), loaded, message));
	EXPECT_EQ(message, invalid);
	ExpectSameSettings(loaded, Sentinel());
}

TEST(SettingsDocument, QualityDefaultsAndRanges)
{
	struct Case {
		const char *quality;
		bool accepted;
		int32_t bitrate, height, fps;
	};
	const Case cases[] = {
		{"\"bitrate\": 1000", true, 1000, 1080, 30}, // height and fps default when absent
		{"\"bitrate\": 8000, \"height\": 720, \"fps\": 60", true, 8000, 720, 60},
		{"\"height\": 1080, \"fps\": 30", false, 0, 0, 0}, // no bitrate
		{"\"bitrate\": 999", false, 0, 0, 0},
		{"\"bitrate\": 8001", false, 0, 0, 0},
		{"\"bitrate\": -4500", false, 0, 0, 0},
		{"\"bitrate\": 4500, \"height\": 0", false, 0, 0, 0}, // present means checked
		{"\"bitrate\": 4500, \"height\": 1440", false, 0, 0, 0},
		{"\"bitrate\": 4500, \"fps\": 59", false, 0, 0, 0},
		// 2^32 + 4500 would wrap to 4500 if narrowed before the check.
		{"\"bitrate\": 4294971796", false, 0, 0, 0},
		{"\"bitrate\": 4500, \"fps\": 4294967326", false, 0, 0, 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.quality);
		PanelSettings loaded = Sentinel();
		std::string message;
		const bool accepted = SettingsFromData(DocumentWith(2, c.quality).c_str(), loaded, message);
		EXPECT_EQ(accepted, c.accepted);
		if (c.accepted) {
			EXPECT_EQ(loaded.bitrate, c.bitrate);
			EXPECT_EQ(loaded.height, c.height);
			EXPECT_EQ(loaded.fps, c.fps);
			EXPECT_EQ(loaded.destinations.size(), 2u);
		} else {
			EXPECT_EQ(message, invalid);
			ExpectSameSettings(loaded, Sentinel());
		}
	}
}

TEST(SettingsDocument, RejectsUnsupportedAndMalformedDocumentsWithoutTouchingTheTarget)
{
	struct Case {
		const char *json;
		const char *message;
	};
	const Case cases[] = {
		{"", unsupported},
		{"not json at all", unsupported},
		{"{\"version\": 1, \"bitrate\": 4500, \"destinations\": [", unsupported},
		{"[1, 2, 3]", unsupported},
		{"{\"bitrate\": 4500, \"destinations\": []}", unsupported},
		{"{\"version\": 2, \"bitrate\": 4500, \"destinations\": []}", unsupported},
		{"{\"version\": 0, \"bitrate\": 4500, \"destinations\": []}", unsupported},
		{"{\"version\": \"1\", \"bitrate\": 4500, \"destinations\": []}", unsupported},
		{"{\"version\": 1, \"bitrate\": 4500}", invalid},
		{"{\"version\": 1, \"bitrate\": 4500, \"destinations\": \"none\"}", invalid},
		{"{\"version\": 1, \"bitrate\": 4500, \"destinations\": {}}", invalid},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.json);
		PanelSettings loaded = Sentinel();
		std::string message;
		EXPECT_FALSE(SettingsFromData(c.json, loaded, message));
		EXPECT_EQ(message, c.message);
		ExpectSameSettings(loaded, Sentinel());
	}
}

TEST(SettingsDocument, DestinationMembersAreOptionalAndUnknownPlatformsKept)
{
	const char *json = "{\"version\": 1, \"bitrate\": 3000, \"extra\": true, \"destinations\": ["
			   "{},"
			   "{\"name\": \"Mine\", \"platform\": \"youtube\", \"server\": \"rtmp://host/app\","
			   " \"key\": \"k\", \"username\": \"u\", \"password\": \"p\", \"enabled\": true,"
			   " \"colour\": 3},"
			   "{\"name\": \"Off\", \"platform\": \"PeerTube\", \"enabled\": false}]}";
	PanelSettings loaded;
	std::string message;
	ASSERT_TRUE(SettingsFromData(json, loaded, message)) << message;
	ASSERT_EQ(loaded.destinations.size(), 3u);

	const Destination &empty = loaded.destinations[0];
	EXPECT_TRUE(empty.name.empty() && empty.platform.empty() && empty.server.empty() && empty.key.empty() &&
		    empty.username.empty() && empty.password.empty());
	EXPECT_FALSE(empty.enabled);

	const Destination &mine = loaded.destinations[1];
	EXPECT_EQ(mine.platform, "youtube");
	EXPECT_EQ(mine.server, "rtmp://host/app");
	EXPECT_EQ(mine.key, "k");
	EXPECT_EQ(mine.username, "u");
	EXPECT_EQ(mine.password, "p");
	EXPECT_TRUE(mine.enabled);

	EXPECT_EQ(loaded.destinations[2].platform, "PeerTube");
	EXPECT_FALSE(loaded.destinations[2].enabled);

	// Members the document does not define are neither kept nor written back.
	loaded.destinations.resize(2);
	const std::string written = ToJson(loaded);
	EXPECT_EQ(written.find("extra"), std::string::npos);
	EXPECT_EQ(written.find("colour"), std::string::npos);
}
