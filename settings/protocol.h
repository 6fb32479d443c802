#pragma once

#include "settings/model.h"

#include <string>
#include <string_view>
#include <vector>

// How a destination sends, decided in this one place from its server URL:
// srt:// and rist:// (any letter case) go over MPEG-TS, everything else is RTMP.
namespace torvane {

enum class Protocol { Rtmp, Srt, Rist };

Protocol ProtocolOf(std::string_view server);

inline bool IsMpegTs(Protocol protocol)
{
	return protocol != Protocol::Rtmp;
}

// SRT takes a passphrase of this many characters, or none.
constexpr size_t srt_passphrase_min = 10;
constexpr size_t srt_passphrase_max = 79;

// The shape of an SRT or RIST server: scheme, host, a port (required), then
// nothing or "/" and an optional "?query" without white space or "#".
enum class MpegTsUrlProblem { None, BadShape, NoPort };
MpegTsUrlProblem CheckMpegTsUrl(std::string_view server);

// Moves "streamid=" into the key and "passphrase=" into the password when an
// SRT or RIST server's query carries them, so that they are masked and kept
// with the other secrets; the rest of the query stays. True when it changed
// the destination.
bool MoveUrlSecrets(Destination &destination);

// The values of a URL's query parameters ("?a=1&b=2" gives "1" and "2"), as
// views into `url`: what an error text must not repeat.
std::vector<std::string_view> QueryValues(std::string_view url);

} // namespace torvane
