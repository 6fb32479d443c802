// The video encoders this OBS offers, and what a quality's encoder choice comes
// to here.
#include "engine/encoders.h"

#include "settings/platform.h"
#include "settings/protocol.h"
#include "settings/quality.h"
#include "settings/texts.h"

#include <obs.h>

#include <string_view>

namespace torvane {

namespace {

// The codecs OBS's RTMP output can send, as it lists them ("h264;hevc;av1").
// Without that output every codec passes here: the start then says the RTMP
// modules are missing.
bool RtmpSendsCodec(std::string_view codec)
{
	const char *codecs = obs_get_output_supported_video_codecs("rtmp_output");
	if (!codecs)
		return true;
	std::string_view list = codecs;
	while (!list.empty()) {
		const size_t end = list.find(';');
		if (list.substr(0, end) == codec)
			return true;
		list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
	}
	return false;
}

// The hardware H.264 encoders in the order the hardware choice tries them.
// NVENC is jim_nvenc in OBS 30 on Windows and FFmpeg's ffmpeg_nvenc there on
// Linux; OBS 31 renamed it obs_nvenc_h264_tex and keeps both old ids as
// deprecated aliases, which the choice passes over as OBS's settings do.
constexpr const char *hardware_h264_ids[] = {"obs_nvenc_h264_tex", "jim_nvenc",        "ffmpeg_nvenc",
					     "obs_qsv11_v2",       "h264_texture_amf", "ffmpeg_vaapi_tex"};

bool IsRegisteredVideoEncoder(const char *id)
{
	return obs_initialized() && obs_encoder_get_display_name(id) && obs_get_encoder_type(id) == OBS_ENCODER_VIDEO;
}

// Deprecated aliases and the internal fallbacks that texture encoders reroute
// to are not offered.
bool IsOffered(const char *id)
{
	return IsRegisteredVideoEncoder(id) &&
	       !(obs_get_encoder_caps(id) & (OBS_ENCODER_CAP_DEPRECATED | OBS_ENCODER_CAP_INTERNAL));
}

} // namespace

std::vector<EncoderOption> VideoEncoderOptions()
{
	std::vector<EncoderOption> options;
	const char *id = nullptr;
	// Every lookup below reads libobs's core, which must be up.
	for (size_t i = 0; obs_initialized() && obs_enum_encoder_types(i, &id); i++) {
		if (!IsOffered(id))
			continue;
		const char *codec = obs_get_encoder_codec(id);
		const char *name = obs_encoder_get_display_name(id);
		if (codec && name && RtmpSendsCodec(codec))
			options.push_back(EncoderOption{id, name, codec});
	}
	return options;
}

ResolvedEncoder ResolveEncoder(const std::string &choice)
{
	if (choice == hardware_h264_encoder) {
		for (const char *id : hardware_h264_ids) {
			if (IsOffered(id))
				return ResolvedEncoder{id, "h264", false};
		}
		return ResolvedEncoder{default_encoder, "h264", true};
	}
	ResolvedEncoder resolved;
	if (!IsRegisteredVideoEncoder(choice.c_str()))
		return resolved;
	const char *codec = obs_get_encoder_codec(choice.c_str());
	resolved.codec = codec ? codec : "";
	if (RtmpSendsCodec(resolved.codec))
		resolved.id = choice;
	return resolved;
}

std::string EncoderChoiceName(const std::string &choice)
{
	if (choice == hardware_h264_encoder)
		return Tr(Txt::HardwareH264);
	const char *name = obs_initialized() ? obs_encoder_get_display_name(choice.c_str()) : nullptr;
	return name ? name : choice;
}

std::string CheckEncoderChoices(const PanelSettings &settings, const std::function<bool(size_t)> &included)
{
	// Without libobs the start is refused for that before any encoder counts.
	if (!obs_initialized())
		return std::string();
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (!included(i))
			continue;
		const Destination &destination = settings.destinations[i];
		const std::string number = std::to_string(i + 1);
		const bool mpegts = IsMpegTs(ProtocolOf(destination.server));
		if (mpegts && FollowsObsEncoder(destination))
			return Tr(Txt::ObsStreamNotMpegTs, {number});
		const std::string choice = QualityOf(settings, destination).encoder;
		const ResolvedEncoder resolved = ResolveEncoder(choice);
		// Without x264 the start names the standard encoders as missing.
		if (resolved.id.empty() && resolved.codec.empty() && choice != default_encoder)
			return Tr(Txt::EncoderMissing, {number, choice});
		if (resolved.id.empty() && !resolved.codec.empty())
			return Tr(Txt::CodecNotSent, {number, resolved.codec});
		if (resolved.id.empty())
			continue;
		if (mpegts && resolved.codec != "h264" && resolved.codec != "hevc")
			return Tr(Txt::CodecNotInMpegTs, {number, resolved.codec});
		const Platform platform = ParsePlatform(destination.platform);
		if (!PlatformTakesCodec(platform, resolved.codec))
			return Tr(Txt::CodecNotTaken, {number, PlatformName(platform)});
	}
	return std::string();
}

} // namespace torvane
