// The live texts are recomputed from the model and the engine whenever they are
// drawn; nothing here keeps state of its own.
#include "control/status.h"

#include "engine/encoders.h"
#include "settings/quality.h"
#include "settings/texts.h"

#include <obs.h>

#include <algorithm>
#include <iomanip>
#include <locale>
#include <sstream>

namespace torvane {

namespace {

// The allowance for RTMP and network overhead.
constexpr double overhead_factor = 1.25;

// Numbers in these texts never take the user's locale: a host that changed the
// global locale must not turn 29.97 into 29,97.
std::ostringstream ClassicStream()
{
	std::ostringstream stream;
	stream.imbue(std::locale::classic());
	return stream;
}

// Thousands grouped with commas, whatever the host's locale: 4,510.
std::string GroupedDigits(int64_t value)
{
	std::string digits = std::to_string(value);
	for (size_t at = digits.size(); at > 3 && digits[at - 4] != '-'; at -= 3)
		digits.insert(at - 3, ",");
	return digits;
}

// The codec's name in the actual output line; empty for H.264, which the
// line names itself.
const char *CodecName(const std::string &encoder)
{
	const std::string codec = ResolveEncoder(encoder).codec;
	return codec == "hevc" ? Tr(Txt::CodecHevc) : codec == "av1" ? Tr(Txt::CodecAv1) : "";
}

} // namespace

size_t EnabledCount(const PanelSettings &settings)
{
	size_t enabled = 0;
	for (const Destination &destination : settings.destinations)
		enabled += destination.enabled ? 1 : 0;
	return enabled;
}

StatusLine DestinationStatusLine(const Destination &destination, const DestinationStats &stats)
{
	const bool failed = stats.state == DestinationState::Failed;
	StatusLine line;
	if (destination.enabled) {
		line.text = DestinationStateText(stats.state, stats.last_code);
		if (stats.state == DestinationState::Sending && stats.frames_dropped > 0)
			line.text = Tr(Txt::Dropped, {line.text, std::to_string(stats.frames_dropped)});
		if (failed && !stats.last_error.empty())
			line.text = Tr(Txt::FailedBecause, {line.text, stats.last_error});
	} else {
		line.text = Tr(Txt::NotIncluded);
	}
	// A failure stays red after the tick is removed, until the runs are released.
	line.tone = failed ? Tone::Error : destination.enabled ? Tone::Accent : Tone::Muted;
	return line;
}

std::string LiveFigure(const Destination &destination, const DestinationStats &stats)
{
	if (!destination.enabled)
		return std::string();
	if (stats.state == DestinationState::Sending) {
		return Tr(Txt::Kbps, {GroupedDigits(stats.kbps)});
	}
	if (stats.state == DestinationState::Reconnecting)
		return Tr(Txt::NextAttempt,
			  {std::to_string(stats.reconnect_attempts), std::to_string(stats.reconnect_limit),
			   std::to_string(stats.next_attempt_seconds > 0 ? stats.next_attempt_seconds : 0)});
	return std::string();
}

std::string HeaderCountText(const PanelSettings &settings, const MultistreamEngine &multistream)
{
	const size_t enabled = EnabledCount(settings);
	if (!multistream.IsBusy())
		return Tr(Txt::EnabledReady, {std::to_string(enabled)});

	size_t sending = 0;
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (multistream.GetStats(i).state == DestinationState::Sending)
			sending++;
	}
	return Tr(Txt::SendingCount, {std::to_string(sending), std::to_string(enabled)});
}

ActualOutput ActualOutputFor(const Quality &quality, const obs_video_info *video, bool vertical)
{
	ActualOutput actual;
	if (!video)
		return actual;
	actual.size = vertical ? EncodedSize{VerticalWidth(quality.height), VerticalHeight(quality.height)}
			       : ScaledOutputSize(video->output_width, video->output_height, quality.height);
	if (video->fps_den != 0) {
		const uint32_t divisor = FrameRateDivisor(video->fps_num, video->fps_den, quality.fps);
		actual.fps = double(video->fps_num) / double(video->fps_den) / double(divisor);
	}
	return actual;
}

std::string FpsText(double fps)
{
	std::ostringstream text = ClassicStream();
	text << std::setprecision(4) << fps;
	return text.str();
}

StatusLine ActualOutputLine(const Quality &quality, const obs_video_info *video, bool vertical)
{
	if (!video)
		return StatusLine{Tr(Txt::EncodingSummary, {std::to_string(keyframe_interval_sec)}), Tone::Muted};

	// A vertical picture renders at its own size, whatever the host's output.
	if (!vertical && int64_t(video->output_height) < int64_t(quality.height))
		return StatusLine{Tr(Txt::FullHdHint), Tone::Accent};

	const ActualOutput actual = ActualOutputFor(quality, video, vertical);
	const std::string codec = CodecName(quality.encoder);
	std::initializer_list<std::string> values = {std::to_string(actual.size.width),
						     std::to_string(actual.size.height), FpsText(actual.fps), codec};
	return StatusLine{Tr(codec.empty() ? Txt::ActualOutput : Txt::ActualOutputCodec, values), Tone::Muted};
}

std::string UploadBudgetText(const PanelSettings &settings, int64_t obs_stream_kbps)
{
	int64_t total_kbps = 0;
	for (const Destination &d : settings.destinations) {
		if (d.enabled && FollowsObsEncoder(d))
			total_kbps += obs_stream_kbps;
		else if (d.enabled)
			total_kbps += std::max(QualityOf(settings, d).bitrate, 0) + audio_bitrate_kbps;
	}
	const double mbps = double(total_kbps) * overhead_factor / 1000.0;

	std::ostringstream text = ClassicStream();
	text << std::fixed << std::setprecision(1) << mbps;
	return Tr(Txt::Mbps, {text.str()});
}

std::string QualityShortText(const Quality &quality)
{
	return Tr(Txt::QualityShort,
		  {std::to_string(quality.height), std::to_string(quality.fps), GroupedDigits(quality.bitrate)});
}

std::string PictureShortText(const Picture &picture)
{
	switch (picture.kind) {
	case PictureKind::Scene:
		return picture.scene;
	case PictureKind::Vertical:
		return Tr(Txt::PictureVerticalShort);
	case PictureKind::Program:
		break;
	}
	return std::string();
}

std::string PictureChoiceName(const Picture &picture)
{
	switch (picture.kind) {
	case PictureKind::Scene:
		return Tr(Txt::PictureScene, {picture.scene});
	case PictureKind::Vertical:
		return picture.scene.empty() ? Tr(Txt::PictureVertical)
					     : Tr(Txt::PictureVerticalScene, {picture.scene});
	case PictureKind::Program:
		break;
	}
	return Tr(Txt::PictureProgram);
}

} // namespace torvane
