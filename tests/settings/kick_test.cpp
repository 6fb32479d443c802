#include "settings/config.h"
#include "settings/kick.h"

#include "pattern_testing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace torvane;
using torvane_testing::Printable;

namespace {

const std::string domain = kick_ingest_domain;
const std::string host = "fa723fc1b171." + domain; // one lower-case label, a dot, the domain

std::string Complete(const std::string &platform, const std::string &server)
{
	Destination d;
	d.name = "Kick";
	d.platform = platform;
	d.server = server;
	return CompleteKickServer(d);
}

std::string Upper(std::string text)
{
	for (char &c : text)
		if (c >= 'a' && c <= 'z')
			c = static_cast<char>(c - 'a' + 'A');
	return text;
}

} // namespace

TEST(KickCompletion, BareDashboardHostGetsPortAndApp)
{
	const std::string full = "rtmps://" + host + ":443/app";
	EXPECT_EQ(Complete("Kick", "rtmps://" + host), full);
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + "/"), full);
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + "/app"), full);
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + "/app/"), full);
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + "/APP/"), full);
	EXPECT_EQ(Complete("Kick", full), full); // already complete: nothing to report
}

TEST(KickCompletion, KeepsTheUsersPortAsWritten)
{
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + ":8443/app"), "rtmps://" + host + ":8443/app");
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + ":00443"), "rtmps://" + host + ":00443/app");
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + ":99999/"), "rtmps://" + host + ":99999/app");
	EXPECT_EQ(Complete("Kick", "rtmps://" + host + ":1"), "rtmps://" + host + ":1/app");
}

TEST(KickCompletion, LowersSchemeAndHost)
{
	const std::string shouted = "RTMPS://" + Upper(host);
	EXPECT_EQ(Complete("Kick", shouted), "rtmps://" + host + ":443/app");
	EXPECT_EQ(Complete("Kick", "RtMpS://Ab-9." + domain + ":443/aPp"), "rtmps://ab-9." + domain + ":443/app");
}

TEST(KickCompletion, OtherShapesAreReturnedUnchanged)
{
	const std::vector<std::string> servers = {
		"",
		"rtmp://" + host,            // plain RTMP
		"rtmps://" + host + " ",     // trailing space
		" rtmps://" + host,          // leading space
		"rtmps://" + host + "/live", // another path
		"rtmps://" + host + "/app//",
		"rtmps://" + host + "/appx",
		"rtmps://" + host + "/ap",
		"rtmps://" + host + "//",
		"rtmps://" + host + ":",       // colon without a port
		"rtmps://" + host + ":123456", // six digits
		"rtmps://" + host + ":443:443",
		"rtmps://a.b." + domain, // two labels
		"rtmps://" + domain,     // no label
		"rtmps://." + domain,
		"rtmps://a_b." + domain,
		"rtmps://a." + domain + ".evil.example",      // domain is not the end of the host
		"rtmps://a.live-video.net",                   // outside the domain
		"rtmps://a.global-contributeXlive-video.net", // dots are literal
		"rtmps://a." + domain.substr(0, domain.size() - 1),
		"rtmps://\xC3\xA4." + domain,
		"rtmps:///" + host,
	};
	for (const std::string &server : servers) {
		SCOPED_TRACE(Printable(server));
		EXPECT_EQ(Complete("Kick", server), server);
	}
}

TEST(KickCompletion, OnlyTheKickPlatformInAnyCaseIsCompleted)
{
	const std::string bare = "rtmps://" + host;
	const std::string full = bare + ":443/app";
	for (const char *platform : {"Kick", "kick", "KICK", "kIcK"})
		EXPECT_EQ(Complete(platform, bare), full) << platform;
	for (const char *platform : {"Twitch", "Custom", "", "Kick ", " Kick", "Kic", "Kicks", "K1ck", "Kick\n"})
		EXPECT_EQ(Complete(platform, bare), bare) << Printable(platform);
	EXPECT_EQ(Complete(std::string("Kick\0", 5), bare), bare);
}

// The completion must agree with the ingest pattern run by std::regex
// (ECMAScript, case-insensitive, byte-wise in the C locale) and be idempotent.
class KickPatternEquivalence : public ::testing::Test {
protected:
	const std::regex pattern{Pattern(), std::regex::ECMAScript | std::regex::icase};
	size_t checked = 0;
	size_t completed = 0;

	static std::string Pattern()
	{
		std::string escaped;
		for (char c : domain) {
			if (c == '.')
				escaped += '\\';
			escaped += c;
		}
		return "^rtmps://([a-z0-9-]+\\." + escaped + ")(:[0-9]{1,5})?(/(?:app/?)?)?$";
	}

	std::string Expected(const std::string &server) const
	{
		std::smatch m;
		if (!std::regex_search(server, m, pattern))
			return server;
		std::string host_part = m[1].str();
		for (char &c : host_part)
			if (c >= 'A' && c <= 'Z')
				c = static_cast<char>(c - 'A' + 'a');
		return "rtmps://" + host_part + (m[2].matched ? m[2].str() : std::string(":443")) + "/app";
	}

	void Check(const std::string &server)
	{
		const std::string expected = Expected(server);
		const std::string actual = Complete("Kick", server);
		checked++;
		completed += expected != server ? 1 : 0;
		if (actual != expected)
			ADD_FAILURE() << "\"" << Printable(server) << "\" gave \"" << Printable(actual)
				      << "\", regex \"" << Printable(expected) << "\"";
		else if (Complete("Kick", actual) != actual)
			ADD_FAILURE() << "not idempotent on \"" << Printable(actual) << "\"";
	}
};

TEST_F(KickPatternEquivalence, ExhaustiveShortTails)
{
	const std::vector<std::string> alphabet = {":", "4", "/", "a", "P", "p", "x", " ", ".", "-", "\xC1"};
	const std::string prefixes[] = {"rtmps://a." + domain, "RTMPS://Z-." + Upper(domain), "rtmps://", "rtmps://a",
					"rtmps://a." + domain + ":12345"};
	for (const std::string &prefix : prefixes)
		torvane_testing::ForEachTail(prefix, alphabet, 4, [this](const std::string &server) { Check(server); });
	std::printf("[ figures  ] %zu Kick servers compared with std::regex, %zu completed\n", checked, completed);
	// Only a few tails of these short alphabets complete (ports, "/", "/app").
	EXPECT_GT(completed, 20u);
}

TEST_F(KickPatternEquivalence, RandomTokenSequences)
{
	const std::vector<std::string> tokens = {"rtmps://",
						 "RTMPS://",
						 "rtmp://",
						 "rtmps:/",
						 "abc",
						 "A1-",
						 "-",
						 "_",
						 ".",
						 domain,
						 Upper(domain),
						 "global-contribute",
						 ".live-video.net",
						 "live-video",
						 ":",
						 "443",
						 "12345",
						 "123456",
						 "/",
						 "app",
						 "APP",
						 "/app",
						 "/app/",
						 " ",
						 "\t",
						 "\n",
						 "x",
						 "\xA0",
						 "\xC4\xB1",
						 std::string(1, '\0')};
	torvane_testing::ForEachTokenSequence(tokens, 61220, 7, 100000, [this](const std::string &server) {
		Check(server);
		// Most random texts fail early; also try each behind a valid host.
		Check("rtmps://k." + domain + server);
	});
	std::printf("[ figures  ] %zu Kick servers compared with std::regex, %zu completed\n", checked, completed);
	EXPECT_GT(completed, 1000u);
}

TEST(KickCompletion, FourMebibyteServers)
{
	const size_t size = 4u << 20;
	const auto time = [](const std::string &server, std::string &result) {
		const auto start = std::chrono::steady_clock::now();
		result = Complete("Kick", server);
		return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
	};
	std::string result;

	const std::string long_label = "rtmps://" + std::string(size, 'A') + "." + domain + "/app/";
	const double label_ms = time(long_label, result);
	EXPECT_EQ(result, "rtmps://" + std::string(size, 'a') + "." + domain + ":443/app");

	const std::string long_path = "rtmps://" + host + "/" + std::string(size, 'a');
	const double path_ms = time(long_path, result);
	EXPECT_EQ(result, long_path);

	const std::string long_other = std::string(size, 'r');
	const double other_ms = time(long_other, result);
	EXPECT_EQ(result, long_other);

	std::printf("[ figures  ] 4 MiB Kick servers, ms: long label %.1f, long path %.1f, no scheme %.1f\n", label_ms,
		    path_ms, other_ms);
}
