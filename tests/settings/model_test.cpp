#include "settings/model.h"

#include <gtest/gtest.h>

using namespace torvane;

TEST(Model, DefaultsHoldTheQualityAndFourDisabledPlatformPresets)
{
	const PanelSettings s = DefaultSettings();
	EXPECT_EQ(s.bitrate, 4500);
	EXPECT_EQ(s.height, 1080);
	EXPECT_EQ(s.fps, 30);

	struct Expected {
		const char *platform;
		const char *server;
	};
	const Expected expected[] = {
		{"YouTube", "rtmps://a.rtmps.youtube.com:443/live2"},
		{"Twitch", "rtmp://ingest.global-contribute.live-video.net/app"},
		{"Kick", ""},
		{"Patreon", ""},
	};
	ASSERT_EQ(s.destinations.size(), 4u);
	for (size_t i = 0; i < 4; i++) {
		const Destination &d = s.destinations[i];
		SCOPED_TRACE(expected[i].platform);
		EXPECT_EQ(d.name, expected[i].platform);
		EXPECT_EQ(d.platform, expected[i].platform);
		EXPECT_EQ(d.server, expected[i].server);
		EXPECT_TRUE(d.key.empty() && d.username.empty() && d.password.empty());
		EXPECT_FALSE(d.enabled);
	}
}

TEST(Model, CustomDestinationIsNumberedFromTheCountBeforeTheAppend)
{
	const Destination fifth = MakeCustomDestination(4);
	EXPECT_EQ(fifth.name, "Custom 5");
	EXPECT_EQ(fifth.platform, "Custom");
	EXPECT_TRUE(fifth.server.empty() && fifth.key.empty() && fifth.username.empty() && fifth.password.empty());
	EXPECT_FALSE(fifth.enabled);

	EXPECT_EQ(MakeCustomDestination(0).name, "Custom 1");
	EXPECT_EQ(MakeCustomDestination(9).name, "Custom 10");
	EXPECT_EQ(MakeCustomDestination(999).name, "Custom 1000");
}
