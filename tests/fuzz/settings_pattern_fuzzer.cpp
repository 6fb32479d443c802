// Differential: the hand-written scanners of validation and Kick completion
// against the regular expressions they stand for, run by std::regex
// (ECMAScript, byte-wise in the C locale). Any input on which they disagree,
// or on which the completion is not idempotent, aborts.
#include "settings/config.h"
#include "settings/kick.h"
#include "settings/validation.h"

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

const std::regex &ServerPattern()
{
	static const std::regex pattern(R"(^rtmps?://(\[[0-9a-fA-F:]+\]|[a-zA-Z0-9.-]+)(:[0-9]{1,5})?/[^\s#]+$)");
	return pattern;
}

const std::regex &KickPattern()
{
	static const std::regex pattern = [] {
		std::string domain;
		for (const char *c = torvane::kick_ingest_domain; *c; c++)
			domain += *c == '.' ? std::string("\\.") : std::string(1, *c);
		return std::regex("^rtmps://([a-z0-9-]+\\." + domain + ")(:[0-9]{1,5})?(/(?:app/?)?)?$",
				  std::regex::ECMAScript | std::regex::icase);
	}();
	return pattern;
}

void CheckServer(const std::string &server)
{
	// One enabled destination with a name and a plain key fails only at the server.
	torvane::PanelSettings settings;
	settings.destinations = {{"A", "Custom", server, "k", "", "", true}};
	if (torvane::ValidateSettings(settings).empty() != std::regex_search(server, ServerPattern()))
		std::abort();
}

std::string CompleteKick(const std::string &server)
{
	return torvane::CompleteKickServer({"", "Kick", server, "", "", "", false});
}

void CheckKick(const std::string &server)
{
	std::smatch m;
	std::string expected = server;
	if (std::regex_search(server, m, KickPattern())) {
		std::string host = m[1].str();
		for (char &c : host)
			c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
		expected = "rtmps://" + host + (m[2].matched ? m[2].str() : std::string(":443")) + "/app";
	}
	const std::string completed = CompleteKick(server);
	if (completed != expected || CompleteKick(completed) != completed)
		std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// std::regex recurses per character; longer inputs only test its stack.
	if (size > 256)
		return 0;
	const std::string text(reinterpret_cast<const char *>(data), size);
	// Most inputs fail at the scheme; also try each behind one, so that every
	// part of both patterns is reached within a short run.
	CheckServer(text);
	CheckServer("rtmp://" + text);
	CheckKick(text);
	CheckKick(std::string("rtmps://k.") + torvane::kick_ingest_domain + text);
	return 0;
}
