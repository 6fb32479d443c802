#include "settings/config.h"
#include "settings/validation.h"

#include "pattern_testing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace torvane;
using torvane_testing::Printable;

namespace {

const char *const bad_server =
	"enter a valid rtmp:// or rtmps:// server URL with its app path. Keep the key in its own field.";

Destination Good(const std::string &name, const std::string &server = "rtmp://live.example.com/app",
		 const std::string &key = "key-1")
{
	Destination d;
	d.name = name;
	d.platform = "Custom";
	d.server = server;
	d.key = key;
	d.enabled = true;
	return d;
}

PanelSettings With(std::vector<Destination> destinations)
{
	PanelSettings s;
	s.bitrate = 4500;
	s.height = 1080;
	s.fps = 30;
	s.destinations = std::move(destinations);
	return s;
}

std::string Prefixed(size_t position, const std::string &text)
{
	return "Destination " + std::to_string(position) + ": " + text;
}

// The verdict on one server alone, for a destination that is fine otherwise.
bool ServerPasses(const std::string &server)
{
	const std::string result = ValidateSettings(With({Good("A", server)}));
	if (!result.empty() && result != Prefixed(1, bad_server))
		ADD_FAILURE() << "unexpected message for a server check: " << result;
	return result.empty();
}

} // namespace

// ---------------------------------------------------------------------------
// Stream quality: checked first, in the order bitrate, height, frame rate.

TEST(ValidateQuality, BitrateRangeIsInclusiveAndNegativesFail)
{
	const char *const message = "Video bitrate must be between 1000 and 8000 kbps.";
	const struct {
		int32_t bitrate;
		bool passes;
	} cases[] = {
		{999, false},
		{1000, true},
		{8000, true},
		{8001, false},
		{0, false},
		{-1, false},
		{-7000, false},
		{std::numeric_limits<int32_t>::min(), false},
		{std::numeric_limits<int32_t>::max(), false},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.bitrate);
		PanelSettings s = With({Good("A")});
		s.bitrate = c.bitrate;
		EXPECT_EQ(ValidateSettings(s), c.passes ? "" : message);
	}
}

TEST(ValidateQuality, ChecksRunInOrderBitrateHeightFrameRate)
{
	PanelSettings s = With({});
	s.bitrate = -5;
	s.height = 900;
	s.fps = 24;
	EXPECT_EQ(ValidateSettings(s), "Video bitrate must be between 1000 and 8000 kbps.");
	s.bitrate = 1000;
	EXPECT_EQ(ValidateSettings(s), "Choose 720p or 1080p output.");
	s.height = 720;
	EXPECT_EQ(ValidateSettings(s), "Choose a frame-rate limit of 30 or 60 fps.");
	s.fps = 60;
	EXPECT_EQ(ValidateSettings(s), "Enable at least one destination using its checkbox.");

	// Quality problems come before any destination problem.
	PanelSettings broken = With({Good("")});
	broken.fps = 25;
	EXPECT_EQ(ValidateSettings(broken), "Choose a frame-rate limit of 30 or 60 fps.");
}

TEST(ValidateQuality, AcceptsEachHeightAndFrameRate)
{
	for (int32_t height : {720, 1080}) {
		for (int32_t fps : {30, 60}) {
			PanelSettings s = With({Good("A")});
			s.height = height;
			s.fps = fps;
			EXPECT_EQ(ValidateSettings(s), "") << height << "p" << fps;
		}
	}
}

// ---------------------------------------------------------------------------
// Which destinations take part, and how they are numbered.

TEST(ValidateDestinations, NothingEnabledAsksForATick)
{
	const char *const message = "Enable at least one destination using its checkbox.";
	EXPECT_EQ(ValidateSettings(DefaultSettings()), message);
	EXPECT_EQ(ValidateSettings(With({})), message);

	// Disabled destinations are not looked at, however broken.
	Destination broken;
	broken.password = "secret";
	broken.key = "a b";
	EXPECT_EQ(ValidateSettings(With({broken, broken})), message);
}

TEST(ValidateDestinations, NumbersCountDisabledDestinations)
{
	std::vector<Destination> list = {Good("A"), Good("B"), Good(""), Good("D")};
	list[0].enabled = false;
	list[1].enabled = false;
	list[3].enabled = false;
	EXPECT_EQ(ValidateSettings(With(list)), "Destination 3: enter a name.");

	// The first failing enabled destination is reported, with its own number.
	std::vector<Destination> many;
	for (int i = 0; i < 12; i++)
		many.push_back(Good("D" + std::to_string(i), "rtmp://h/app", "k" + std::to_string(i)));
	many[11].key.clear();
	EXPECT_EQ(ValidateSettings(With(many)), "Destination 12: enter a stream key.");
	many[4].name.clear();
	EXPECT_EQ(ValidateSettings(With(many)), "Destination 5: enter a name.");
}

TEST(ValidateDestinations, PerDestinationChecksRunInOrder)
{
	// Every field wrong at once; repair them one by one and watch the next
	// message appear.
	Destination d;
	d.enabled = true;
	d.platform = "Custom";
	d.server = "ftp://example.com";
	d.key = "";
	d.password = "pw";

	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "enter a name."));
	d.name = " "; // not trimmed: a single space is a name
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, bad_server));
	d.server = "rtmp://example.com/live";
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "enter a stream key."));
	d.key = "rtmp://example.com/live/abc ";
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "the stream key contains whitespace. Paste it again."));
	d.key = "rtmp://example.com/live/abc";
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "paste only the stream key into the key field."));
	d.key = "abc";
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "a server password requires a username."));
	d.username = "me";
	EXPECT_EQ(ValidateSettings(With({d})), "");
}

TEST(ValidateDestinations, KeyChecks)
{
	const std::string whitespace = "the stream key contains whitespace. Paste it again.";
	const std::string url = "paste only the stream key into the key field.";
	const struct {
		std::string key;
		std::string message;
	} cases[] = {
		{"abc ", whitespace},
		{"abc\n", whitespace},
		{"\rabc", whitespace},
		{"a\tb", whitespace},
		{"rtmp://h/app/key x", whitespace}, // whitespace is checked before the URL
		{"rtmp://live.example.com/app/key", url},
		{"://", url},
		{"x://y", url},
		{":/", ""},
		{"a:/b//", ""},
		{"abc\xC2\xA0", ""}, // a Unicode no-break space is not checked
		{"abc\v\f", ""},     // nor are vertical tab and form feed
		{std::string("a\0b", 3), ""},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(Printable(c.key));
		EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", c.key)})),
			  c.message.empty() ? "" : Prefixed(1, c.message));
	}
}

TEST(ValidateDestinations, PasswordNeedsUserNameButNotTheOtherWayRound)
{
	Destination d = Good("A");
	d.password = " ";
	EXPECT_EQ(ValidateSettings(With({d})), Prefixed(1, "a server password requires a username."));
	d.password.clear();
	d.username = "user";
	EXPECT_EQ(ValidateSettings(With({d})), "");
	d.password = "pw";
	EXPECT_EQ(ValidateSettings(With({d})), "");
}

TEST(ValidateDestinations, LeavesTheSettingsUntouched)
{
	std::vector<Destination> list = {Good("K", std::string("rtmps://abc.") + kick_ingest_domain), Good("B")};
	list[0].platform = "Kick";
	const PanelSettings before = With(list);
	PanelSettings s = before;
	EXPECT_EQ(ValidateSettings(s), "");
	ASSERT_EQ(s.destinations.size(), 2u);
	EXPECT_EQ(s.destinations[0].server, before.destinations[0].server); // completed only in a copy
	EXPECT_EQ(s.destinations[1].server, before.destinations[1].server);
}

// ---------------------------------------------------------------------------
// The server pattern.

TEST(ValidateServer, Table)
{
	const struct {
		const char *server;
		bool passes;
	} cases[] = {
		{"rtmp://live.example.com/app", true},
		{"rtmps://live.example.com/app", true},
		{"rtmp://live.example.com", false},      // no path
		{"rtmp://live.example.com/", false},     // only "/" after the host
		{"RTMP://live.example.com/app", false},  // scheme in capitals
		{"rtmp://live.example.com/app ", false}, // space after the path
		{" rtmp://live.example.com/app", false}, // space before the scheme
		{"rtmp://live.example.com/a b", false},
		{"rtmp://live.example.com/app#x", false},
		{"rtmp://live.example.com/app\n", false},
		{"rtmp://live.example.com/app\v", false},
		{"rtmp://live.example.com/app\f", false},
		{"rtmp://live.example.com/app\r", false},
		{"rtmps://[2001:db8::1]:443/live", true},
		{"rtmps://[2001:db8::1]/live", true},
		{"rtmps://[::]/x", true},
		{"rtmps://[]/x", false},
		{"rtmps://[2001:db8::g]/x", false},
		{"rtmps://[::1/x", false},
		{"rtmps://::1/x", false},
		{"rtmp://h:99999/app", true}, // five digits, not range-checked
		{"rtmp://h:1/app", true},
		{"rtmp://h:123456/app", false},
		{"rtmp://h:/app", false},
		{"rtmp://h:80:80/app", false},
		{"rtmp://h//", true}, // the path may be a second "/"
		{"rtmp://h/a/b/c?x=1&y=%20", true},
		{"rtmp://h_1/app", false}, // underscore is not a host character
		{"rtmp://user@h/app", false},
		{"rtmp://-./app", true},
		{"rtmp:///app", false},
		{"rtmps:/h/app", false},
		{"rtmpss://h/app", false},
		{"rtmp://h/app\xC2\xA0", true},     // byte-wise: UTF-8 of U+00A0 is not "\s"
		{"rtmp://h/app\xE2\x80\xA8", true}, // nor U+2028
		{"rtmp://h/\xEF\xBB\xBF", true},    // nor U+FEFF
		{"rtmp://h\xC3\xA9/app", false},    // non-ASCII host
		{"", false},
		{"rtmp", false},
		{"rtmp://", false},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(Printable(c.server));
		EXPECT_EQ(ServerPasses(c.server), c.passes);
	}
	EXPECT_TRUE(ServerPasses(std::string("rtmp://h/a\0b", 12)));
}

TEST(ValidateServer, KickServerIsJudgedInItsCompletedForm)
{
	Destination kick = Good("Kick", std::string("rtmps://fa723fc1b171.") + kick_ingest_domain, "sk_us-west-2_x");
	kick.platform = "Kick";
	EXPECT_EQ(ValidateSettings(With({kick})), "");

	// The same bare host under another platform has no path and fails.
	kick.platform = "Custom";
	EXPECT_EQ(ValidateSettings(With({kick})), Prefixed(1, bad_server));

	// A Kick server that cannot be completed is judged as stored.
	kick.platform = "Kick";
	kick.server = std::string("rtmps://fa723fc1b171.") + kick_ingest_domain + " ";
	EXPECT_EQ(ValidateSettings(With({kick})), Prefixed(1, bad_server));
}

// The hand-written matcher must answer exactly like the pattern run by
// std::regex (ECMAScript, byte-wise, C locale) on short inputs.
class ServerPatternEquivalence : public ::testing::Test {
protected:
	const std::regex pattern{R"(^rtmps?://(\[[0-9a-fA-F:]+\]|[a-zA-Z0-9.-]+)(:[0-9]{1,5})?/[^\s#]+$)",
				 std::regex::ECMAScript};
	size_t checked = 0;
	size_t matched = 0;

	void Check(const std::string &server)
	{
		const bool expected = std::regex_search(server, pattern);
		checked++;
		matched += expected ? 1 : 0;
		if (ServerPasses(server) != expected)
			ADD_FAILURE() << "\"" << Printable(server) << "\" regex says " << expected;
	}
};

TEST_F(ServerPatternEquivalence, ExhaustiveShortTails)
{
	// Every tail of up to four characters after prefixes that reach each part
	// of the pattern.
	const std::vector<std::string> alphabet = {"a", "F", "0", ":", "/",  "[",    "]",
						   ".", "-", "#", " ", "\v", "\xA0", "s"};
	const char *const prefixes[] = {"",           "rtmp",      "rtmp://",       "rtmps://", "rtmp://h",
					"rtmp://h:1", "rtmps://[", "rtmps://[::1]", "rtmp://h/"};
	for (const char *prefix : prefixes)
		torvane_testing::ForEachTail(prefix, alphabet, 4, [this](const std::string &server) { Check(server); });
	std::printf("[ figures  ] %zu servers compared with std::regex, %zu matching\n", checked, matched);
	EXPECT_GT(matched, 1000u);
}

TEST_F(ServerPatternEquivalence, RandomTokenSequences)
{
	const std::vector<std::string> tokens = {"rtmp://",
						 "rtmps://",
						 "RTMP://",
						 "rtmp:/",
						 "rtmp",
						 "s",
						 "://",
						 "h",
						 "live.example.com",
						 "Z",
						 "_",
						 "[",
						 "]",
						 "::1",
						 "2001:db8::",
						 "fF",
						 "g",
						 ":",
						 "443",
						 "12345",
						 "123456",
						 "65536",
						 "/",
						 "app",
						 "/app",
						 "#",
						 "?",
						 "%",
						 "@",
						 "~",
						 " ",
						 "\t",
						 "\n",
						 "\v",
						 "\f",
						 "\r",
						 std::string(1, '\0'),
						 "\xA0",
						 "\xC2\xA0",
						 "\xE2\x80\xA8",
						 "\xEF\xBB\xBF",
						 "\x85",
						 "\xFF",
						 ".",
						 "-"};
	torvane_testing::ForEachTokenSequence(tokens, 20261206, 8, 100000, [this](const std::string &server) {
		Check(server);
		// Most random texts fail at the scheme; also try each behind one.
		Check("rtmp://" + server);
	});
	std::printf("[ figures  ] %zu servers compared with std::regex, %zu matching\n", checked, matched);
	EXPECT_GT(matched, 500u);
}

// ---------------------------------------------------------------------------
// The duplicate check.

TEST(ValidateDuplicates, TrailingSlashesAreIgnored)
{
	const std::string duplicate = "this server and key are already enabled in another destination.";
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", "k"), Good("B", "rtmp://h/app/", "k")})),
		  Prefixed(2, duplicate));
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app///", "k"), Good("B", "rtmp://h/app", "k")})),
		  Prefixed(2, duplicate));
	// The later of the two is named, with its place in the whole list.
	std::vector<Destination> list = {Good("A", "rtmp://h/app", "k"), Good("B"), Good("C"),
					 Good("D", "rtmp://h/app//", "k")};
	list[1].enabled = false;
	list[2].key = "other";
	EXPECT_EQ(ValidateSettings(With(list)), Prefixed(4, duplicate));
}

TEST(ValidateDuplicates, ComparisonIsCaseSensitive)
{
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", "Key"), Good("B", "rtmp://h/app", "key")})), "");
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://Host/app", "k"), Good("B", "rtmp://host/app", "k")})), "");
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/App", "k"), Good("B", "rtmp://h/app", "k")})), "");
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", "k"), Good("B", "rtmps://h/app", "k")})), "");
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h:1935/app", "k"), Good("B", "rtmp://h/app", "k")})), "");
}

TEST(ValidateDuplicates, SameNameIsNotADuplicate)
{
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", "k1"), Good("A", "rtmp://h/app", "k2")})), "");
}

TEST(ValidateDuplicates, DisabledDuplicatesNeverCount)
{
	std::vector<Destination> list = {Good("A", "rtmp://h/app", "k"), Good("B", "rtmp://h/app", "k"),
					 Good("C", "rtmp://h/app", "k")};
	list[0].enabled = false;
	list[2].enabled = false;
	EXPECT_EQ(ValidateSettings(With(list)), "");
	list[2].enabled = true;
	EXPECT_EQ(ValidateSettings(With(list)),
		  Prefixed(3, "this server and key are already enabled in another destination."));
}

TEST(ValidateDuplicates, KickHostsMeetInTheirCompletedForm)
{
	// Letter case of a Kick host is lowered by the completion, so these two
	// are the same ingest point.
	Destination a = Good("K1", std::string("rtmps://ABC.") + kick_ingest_domain, "sk");
	Destination b = Good("K2", std::string("rtmps://abc.") + kick_ingest_domain + ":443/app/", "sk");
	a.platform = "Kick";
	b.platform = "kick";
	EXPECT_EQ(ValidateSettings(With({a, b})),
		  Prefixed(2, "this server and key are already enabled in another destination."));
	// Outside Kick the host keeps its letter case and no longer meets the
	// completed Kick host.
	b.platform = "Custom";
	b.server = std::string("rtmps://ABC.") + kick_ingest_domain + ":443/app/";
	EXPECT_EQ(ValidateSettings(With({a, b})), "");
}

TEST(ValidateDuplicates, SignatureIsServerSlashKey)
{
	// The signature joins server and key with one "/", so a path segment can
	// move between them and still name the same stream URL.
	EXPECT_EQ(ValidateSettings(With({Good("A", "rtmp://h/app", "live/k"), Good("B", "rtmp://h/app/live", "k")})),
		  Prefixed(2, "this server and key are already enabled in another destination."));
}

TEST(ValidateDuplicates, ManyDestinations)
{
	std::vector<Destination> list;
	for (int i = 0; i < 1000; i++)
		list.push_back(Good("D", "rtmp://h/app", "key-" + std::to_string(i)));
	EXPECT_EQ(ValidateSettings(With(list)), "");
	list.push_back(Good("D", "rtmp://h/app/", "key-500"));
	EXPECT_EQ(ValidateSettings(With(list)),
		  Prefixed(1001, "this server and key are already enabled in another destination."));
}

// ---------------------------------------------------------------------------
// Values loaded from the file have no length limit.

TEST(ValidateLongValues, FourMebibyteServerAndKey)
{
	const size_t size = 4u << 20;
	const auto time = [](const PanelSettings &s, std::string &result) {
		const auto start = std::chrono::steady_clock::now();
		result = ValidateSettings(s);
		return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
	};
	std::string result;

	std::string path(size, 'p');
	const double good_server_ms = time(With({Good("A", "rtmp://h/" + path)}), result);
	EXPECT_EQ(result, "");

	const double bad_server_ms = time(With({Good("A", "rtmp://h/" + path + " ")}), result);
	EXPECT_EQ(result, Prefixed(1, bad_server));

	const double long_host_ms = time(With({Good("A", "rtmp://" + std::string(size, 'h') + ":12345/x")}), result);
	EXPECT_EQ(result, "");

	const double ipv6_ms = time(With({Good("A", "rtmps://[" + std::string(size, ':') + "/x")}), result);
	EXPECT_EQ(result, Prefixed(1, bad_server));

	const double key_ms = time(With({Good("A", "rtmp://h/app", std::string(size, 'k'))}), result);
	EXPECT_EQ(result, "");

	std::string spaced_key(size, 'k');
	spaced_key.back() = ' ';
	const double spaced_key_ms = time(With({Good("A", "rtmp://h/app", spaced_key)}), result);
	EXPECT_EQ(result, Prefixed(1, "the stream key contains whitespace. Paste it again."));

	Destination kick = Good("K", "rtmps://" + std::string(size, 'a') + "." + kick_ingest_domain + "/app/",
				std::string(size, 'k'));
	kick.platform = "Kick";
	const double kick_ms = time(With({kick, kick}), result);
	EXPECT_EQ(result, Prefixed(2, "this server and key are already enabled in another destination."));

	std::printf("[ figures  ] 4 MiB values, ms: good server %.1f, bad server %.1f, long host %.1f, "
		    "open IPv6 %.1f, key %.1f, key with space %.1f, two Kick duplicates %.1f\n",
		    good_server_ms, bad_server_ms, long_host_ms, ipv6_ms, key_ms, spaced_key_ms, kick_ms);
}
