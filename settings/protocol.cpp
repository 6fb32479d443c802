#include "settings/protocol.h"
#include "settings/url_scan.h"

namespace torvane {

namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix)
{
	if (text.size() < prefix.size())
		return false;
	for (size_t i = 0; i < prefix.size(); i++) {
		const char c = text[i];
		if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != prefix[i])
			return false;
	}
	return true;
}

bool IsHostChar(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '.' || c == '-';
}

int HexValue(char c)
{
	if (IsAsciiDigit(c))
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// A query value as typed into a field: "%23" becomes "#"; a "%" without two
// hex digits stays as it is.
std::string PercentDecoded(std::string_view value)
{
	std::string text;
	for (size_t i = 0; i < value.size(); i++) {
		const int high = i + 2 < value.size() && value[i] == '%' ? HexValue(value[i + 1]) : -1;
		const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
		if (low >= 0) {
			text += char(high * 16 + low);
			i += 2;
		} else {
			text += value[i];
		}
	}
	return text;
}

} // namespace

Protocol ProtocolOf(std::string_view server)
{
	if (StartsNoCase(server, "srt://"))
		return Protocol::Srt;
	if (StartsNoCase(server, "rist://"))
		return Protocol::Rist;
	return Protocol::Rtmp;
}

MpegTsUrlProblem CheckMpegTsUrl(std::string_view s)
{
	size_t i = s.find("://");
	if (i == std::string_view::npos || !IsMpegTs(ProtocolOf(s)))
		return MpegTsUrlProblem::BadShape;
	i += 3;
	// A RIST sender may name no host ("rist://@:port" listens), but a
	// destination always sends to one.
	const size_t host_begin = i;
	if (i < s.size() && s[i] == '[') {
		i = s.find(']', i);
		if (i == std::string_view::npos || i == host_begin + 1)
			return MpegTsUrlProblem::BadShape;
		i++;
	} else {
		while (i < s.size() && IsHostChar(s[i]))
			i++;
		if (i == host_begin)
			return MpegTsUrlProblem::BadShape;
	}
	if (i == s.size() || s[i] != ':')
		return i == s.size() || s[i] == '/' || s[i] == '?' ? MpegTsUrlProblem::NoPort
								   : MpegTsUrlProblem::BadShape;
	if (!SkipOptionalPort(s, i))
		return MpegTsUrlProblem::NoPort;
	if (i < s.size() && s[i] == '/')
		i++;
	if (i < s.size() && s[i] != '?')
		return MpegTsUrlProblem::BadShape;
	for (; i < s.size(); i++) {
		const char c = s[i];
		if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '#')
			return MpegTsUrlProblem::BadShape;
	}
	return MpegTsUrlProblem::None;
}

std::vector<std::string_view> QueryValues(std::string_view url)
{
	std::vector<std::string_view> values;
	const size_t query = url.find('?');
	if (query == std::string_view::npos)
		return values;
	std::string_view rest = url.substr(query + 1);
	while (!rest.empty()) {
		const std::string_view pair = rest.substr(0, rest.find('&'));
		rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
		const size_t equals = pair.find('=');
		if (equals != std::string_view::npos && equals + 1 < pair.size())
			values.push_back(pair.substr(equals + 1));
	}
	return values;
}

bool MoveUrlSecrets(Destination &destination)
{
	const std::string &server = destination.server;
	const size_t query = server.find('?');
	if (!IsMpegTs(ProtocolOf(server)) || query == std::string::npos)
		return false;
	const bool srt = ProtocolOf(server) == Protocol::Srt;
	std::string kept;
	bool moved = false;
	std::string_view rest = std::string_view(server).substr(query + 1);
	while (!rest.empty()) {
		const std::string_view pair = rest.substr(0, rest.find('&'));
		rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
		// SRT's stream id is the key; RIST's "secret" is, as OBS sends it.
		std::string *field = nullptr;
		if (StartsNoCase(pair, "passphrase="))
			field = srt ? &destination.password : &destination.key;
		else if (srt && StartsNoCase(pair, "streamid="))
			field = &destination.key;
		else if (!srt && StartsNoCase(pair, "secret="))
			field = &destination.key;
		if (field) {
			*field = PercentDecoded(pair.substr(pair.find('=') + 1));
			moved = true;
		} else if (!pair.empty()) {
			kept += kept.empty() ? "" : "&";
			kept += pair;
		}
	}
	if (moved)
		destination.server = server.substr(0, kept.empty() ? query : query + 1) + kept;
	return moved;
}

} // namespace torvane
