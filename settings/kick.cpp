#include "settings/kick.h"
#include "settings/url_scan.h"

#include "settings/config.h"

#include <string_view>

namespace torvane {

namespace {

// Kick's dashboard host is matched case-insensitively and without a regex
// engine: a scan that never backtracks stays linear on values of any length
// loaded from the settings file, and there is nothing to compile, so the first
// calls from several threads share no state at all.

constexpr char AsciiLower(char c)
{
	return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The domain is compared as plain text. That equals matching it with its dots
// escaped only while it holds nothing but letters, digits, hyphens and dots.
constexpr bool IsPlainDomain(std::string_view domain)
{
	if (domain.empty())
		return false;
	for (char c : domain) {
		const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
				   c == '-' || c == '.';
		if (!plain)
			return false;
	}
	return true;
}
static_assert(IsPlainDomain(kick_ingest_domain), "kick_ingest_domain must be a plain host domain");

bool IsLabelChar(char c)
{
	const char l = AsciiLower(c);
	return (l >= 'a' && l <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Whether `text` holds `word` at `pos`, ignoring ASCII letter case.
bool HasNoCase(std::string_view text, size_t pos, std::string_view word)
{
	if (pos > text.size() || text.size() - pos < word.size())
		return false;
	for (size_t i = 0; i < word.size(); i++) {
		if (AsciiLower(text[pos + i]) != AsciiLower(word[i]))
			return false;
	}
	return true;
}

struct KickIngestMatch {
	size_t host_begin = 0;
	size_t host_end = 0; // the port, when given, runs from here to port_end
	size_t port_end = 0;
};

// The whole server must be: "rtmps://", one host label, ".", the ingest
// domain, an optional ":" with one to five digits, and then nothing, "/",
// "/app" or "/app/" (all without regard to ASCII letter case).
bool MatchKickIngest(std::string_view s, KickIngestMatch &match)
{
	static constexpr std::string_view scheme = "rtmps://";
	static constexpr std::string_view domain = kick_ingest_domain;

	if (!HasNoCase(s, 0, scheme))
		return false;
	size_t i = scheme.size();
	match.host_begin = i;

	// The label cannot hold a dot, so it ends at the first character that is
	// not a label character, and that one must be the dot before the domain.
	while (i < s.size() && IsLabelChar(s[i]))
		i++;
	if (i == match.host_begin || i == s.size() || s[i] != '.')
		return false;
	i++;
	if (!HasNoCase(s, i, domain))
		return false;
	i += domain.size();
	match.host_end = i;

	if (!SkipOptionalPort(s, i))
		return false;
	match.port_end = i;

	const std::string_view path = s.substr(i);
	return path.empty() || path == "/" ||
	       (path.size() >= 4 && path.size() <= 5 && HasNoCase(path, 0, "/app") &&
		(path.size() == 4 || path[4] == '/'));
}

} // namespace

std::string CompleteKickServer(const Destination &destination)
{
	const std::string &platform = destination.platform;
	if (platform.size() != 4 || !HasNoCase(platform, 0, "kick"))
		return destination.server;

	KickIngestMatch match;
	if (!MatchKickIngest(destination.server, match))
		return destination.server;

	const std::string_view server = destination.server;
	std::string completed;
	completed.reserve(match.port_end - match.host_begin + 16);
	completed += "rtmps://";
	for (char c : server.substr(match.host_begin, match.host_end - match.host_begin))
		completed += AsciiLower(c);
	if (match.port_end > match.host_end)
		completed += server.substr(match.host_end, match.port_end - match.host_end);
	else
		completed += ":443";
	completed += "/app";
	return completed;
}

} // namespace torvane
