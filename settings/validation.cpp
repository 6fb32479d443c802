#include "settings/validation.h"
#include "settings/url_scan.h"

#include "settings/kick.h"
#include "settings/protocol.h"
#include "settings/texts.h"
#include "settings/wipe.h"

#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace torvane {

namespace {

// What "\s" means to an ECMAScript regex over UTF-8 bytes in the C locale: the
// six ASCII white-space characters. Bytes of multi-byte characters, including
// those of Unicode spaces, are ordinary path characters.
bool IsRegexSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexOrColon(char c)
{
	return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':';
}

bool IsHostChar(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '.' || c == '-';
}

// The whole text must have the shape of
//   ^rtmps?://(\[[0-9a-fA-F:]+\]|[a-zA-Z0-9.-]+)(:[0-9]{1,5})?/[^\s#]+$
// Every part ends at a character the part cannot hold (host at ":" or "/",
// port digits at "/"), so one forward scan decides without backtracking, in
// linear time and constant stack on values of any length.
bool IsServerUrl(std::string_view s)
{
	if (s.substr(0, 4) != "rtmp")
		return false;
	size_t i = 4;
	if (i < s.size() && s[i] == 's')
		i++;
	if (s.substr(i, 3) != "://")
		return false;
	i += 3;

	const size_t host_begin = i;
	if (i < s.size() && s[i] == '[') {
		i++;
		while (i < s.size() && IsHexOrColon(s[i]))
			i++;
		if (i == host_begin + 1 || i == s.size() || s[i] != ']')
			return false;
		i++;
	} else {
		while (i < s.size() && IsHostChar(s[i]))
			i++;
		if (i == host_begin)
			return false;
	}

	if (!SkipOptionalPort(s, i))
		return false;

	if (i == s.size() || s[i] != '/')
		return false;
	i++;
	if (i == s.size())
		return false;
	for (; i < s.size(); i++) {
		if (IsRegexSpace(s[i]) || s[i] == '#')
			return false;
	}
	return true;
}

// The duplicate signatures of the destinations that passed so far. Each one
// carries a stream key, so they are zeroed when the check ends. The texts are
// reserved up front: they never move, and the views in `seen` stay valid.
struct SignatureSet {
	std::vector<std::string> texts;
	std::unordered_set<std::string_view> seen;

	explicit SignatureSet(size_t capacity) { texts.reserve(capacity); }
	~SignatureSet()
	{
		for (std::string &text : texts)
			WipeBytes(text.data(), text.size());
	}
	SignatureSet(const SignatureSet &) = delete;
	SignatureSet &operator=(const SignatureSet &) = delete;
};

// The problem of an SRT or RIST destination's server and secrets, or an empty
// text. The key (SRT stream id, RIST secret) may be empty; SRT's password is
// its passphrase and needs no user.
std::string CheckMpegTsDestination(const Destination &d)
{
	switch (CheckMpegTsUrl(d.server)) {
	case MpegTsUrlProblem::None:
		break;
	case MpegTsUrlProblem::NoPort:
		return Tr(Txt::PortMissing);
	case MpegTsUrlProblem::BadShape:
		return Tr(Txt::EnterMpegTsServer);
	}
	if (ProtocolOf(d.server) == Protocol::Srt) {
		// SRT counts bytes.
		const size_t length = d.password.size();
		if (!d.password.empty() && (length < srt_passphrase_min || length > srt_passphrase_max))
			return Tr(Txt::PassphraseLength,
				  {std::to_string(srt_passphrase_min), std::to_string(srt_passphrase_max)});
	} else if (!d.password.empty() && d.username.empty()) {
		return Tr(Txt::PasswordNeedsUser);
	}
	return std::string();
}

// The problem of one enabled destination as the text after its number, or an
// empty text when it may stream.
std::string CheckDestination(const Destination &d, SignatureSet &signatures)
{
	if (d.name.empty())
		return Tr(Txt::EnterName);

	const std::string server = CompleteKickServer(d);
	const bool mpegts = IsMpegTs(ProtocolOf(server));
	if (mpegts) {
		std::string problem = CheckMpegTsDestination(d);
		if (!problem.empty())
			return problem;
	} else if (!IsServerUrl(server)) {
		return Tr(Txt::EnterServer);
	}

	if (d.key.empty() && !mpegts)
		return Tr(Txt::EnterKey);
	if (d.key.find_first_of("\r\n\t ") != std::string::npos)
		return Tr(Txt::KeyWhitespace);
	if (d.key.size() >= 3 && d.key.find("://") != std::string::npos)
		return Tr(Txt::OnlyKey);

	if (!mpegts && !d.password.empty() && d.username.empty())
		return Tr(Txt::PasswordNeedsUser);

	// Same server (however many trailing slashes) and same key: the platform
	// would see the same broadcast twice.
	size_t server_end = server.size();
	while (server_end > 0 && server[server_end - 1] == '/')
		server_end--;
	std::string &signature = signatures.texts.emplace_back();
	signature.reserve(server_end + 1 + d.key.size());
	signature.append(server, 0, server_end);
	signature += '/';
	signature += d.key;
	if (!signatures.seen.insert(signature).second)
		return Tr(Txt::DuplicateDestination);
	return "";
}

} // namespace

std::string ValidateQuality(const Quality &quality)
{
	if (!IsBitrateInRange(quality.bitrate))
		return Tr(Txt::BitrateRange, {std::to_string(min_bitrate_kbps), std::to_string(max_bitrate_kbps)});
	if (!IsOfferedHeight(quality.height))
		return Tr(Txt::ChooseHeight, {std::to_string(height_720p), std::to_string(height_1080p)});
	if (!IsOfferedFps(quality.fps))
		return Tr(Txt::ChooseRate, {std::to_string(fps_30), std::to_string(fps_60)});
	if (!IsEncoderId(quality.encoder))
		return Tr(Txt::ChooseEncoder);
	return std::string();
}

std::string ValidateQuality(const PanelSettings &settings)
{
	std::string problem = ValidateQuality(SharedQuality(settings));
	for (size_t i = 0; problem.empty() && i < settings.destinations.size(); i++) {
		const Destination &d = settings.destinations[i];
		if (d.quality)
			problem = ValidateQuality(QualityOf(settings, d));
		if (!problem.empty())
			problem = Tr(Txt::DestinationProblem, {std::to_string(i + 1), problem});
	}
	return problem;
}

std::string ValidateSettings(const PanelSettings &settings)
{
	return ValidateSelection(settings, [&settings](size_t i) { return settings.destinations[i].enabled; });
}

std::string ValidateSelection(const PanelSettings &settings, const std::function<bool(size_t)> &included)
{
	std::string quality = ValidateQuality(settings);
	if (!quality.empty())
		return quality;

	SignatureSet signatures(settings.destinations.size());
	bool any_enabled = false;
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const Destination &d = settings.destinations[i];
		if (!included(i))
			continue;
		any_enabled = true;
		std::string problem = CheckDestination(d, signatures);
		if (!problem.empty())
			return Tr(Txt::DestinationProblem, {std::to_string(i + 1), std::move(problem)});
	}
	if (!any_enabled)
		return Tr(Txt::EnableOne);
	return std::string();
}

} // namespace torvane
