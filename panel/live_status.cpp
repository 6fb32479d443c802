// The live texts are recomputed from the model and the engine whenever they are
// drawn; nothing here keeps state of its own.
#include "panel/live_status.h"

#include "panel/theme.h"
#include "settings/quality.h"

#include <obs.h>

#include <iomanip>
#include <locale>
#include <sstream>

namespace torvane {

namespace {

// The allowance for RTMP and network overhead.
constexpr double overhead_factor = 1.25;

#define MIDDLE_DOT "\xC2\xB7"
#define TIMES "\xC3\x97"
#define RIGHT_ARROW "\xE2\x86\x92"

size_t EnabledCount(const PanelSettings &settings)
{
	size_t enabled = 0;
	for (const Destination &destination : settings.destinations)
		enabled += destination.enabled ? 1 : 0;
	return enabled;
}

// Numbers in these texts never take the user's locale: a host that changed the
// global locale must not turn 29.97 into 29,97.
std::ostringstream ClassicStream()
{
	std::ostringstream stream;
	stream.imbue(std::locale::classic());
	return stream;
}

} // namespace

StatusLine DestinationStatusLine(const Destination &destination, const DestinationStats &stats)
{
	const bool failed = stats.state == DestinationState::Failed;
	StatusLine line;
	if (destination.enabled) {
		line.text = DestinationStateText(stats.state, stats.last_code);
		if (stats.state == DestinationState::Sending && stats.frames_dropped > 0)
			line.text += " " MIDDLE_DOT " " + std::to_string(stats.frames_dropped) + " dropped";
	} else {
		line.text = "Not included";
	}
	// A failure stays red after the tick is removed, until the runs are released.
	line.color = failed ? color_error : destination.enabled ? color_accent : color_muted;
	return line;
}

std::string LiveFigure(const Destination &destination, const DestinationStats &stats)
{
	if (!destination.enabled)
		return std::string();
	if (stats.state == DestinationState::Sending) {
		// Thousands grouped with commas, whatever the host's locale: 4,510 kbps.
		std::string digits = std::to_string(stats.kbps);
		for (size_t at = digits.size(); at > 3; at -= 3)
			digits.insert(at - 3, ",");
		return digits + " kbps";
	}
	if (stats.state == DestinationState::Reconnecting)
		return "attempt " + std::to_string(stats.reconnect_attempts) + " of " +
		       std::to_string(stats.reconnect_limit) + " " MIDDLE_DOT " next in " +
		       std::to_string(stats.next_attempt_seconds > 0 ? stats.next_attempt_seconds : 0) + " s";
	return std::string();
}

std::string HeaderCountText(const PanelSettings &settings, const MultistreamEngine &multistream)
{
	const size_t enabled = EnabledCount(settings);
	if (!multistream.IsBusy())
		return std::to_string(enabled) + " enabled  " MIDDLE_DOT "  Ready";

	size_t sending = 0;
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (multistream.GetStats(i).state == DestinationState::Sending)
			sending++;
	}
	return std::to_string(sending) + " / " + std::to_string(enabled) + " sending";
}

StatusLine ActualOutputLine(const PanelSettings &settings, const obs_video_info *video)
{
	if (!video)
		return StatusLine{"H.264 + AAC  " MIDDLE_DOT "  CBR  " MIDDLE_DOT "  2-second keyframes", color_muted};

	if (int64_t(video->output_height) < int64_t(settings.height))
		return StatusLine{"For full 1080p, set OBS Settings " RIGHT_ARROW " Video " RIGHT_ARROW
				  " Output resolution to 1920 " TIMES " 1080.",
				  color_accent};

	// The engine's own rules, so the line shows exactly what the encoder gets.
	const EncodedSize size = ScaledOutputSize(video->output_width, video->output_height, settings.height);
	double rate = 0.0;
	if (video->fps_den != 0) {
		const uint32_t divisor = FrameRateDivisor(video->fps_num, video->fps_den, settings.fps);
		rate = double(video->fps_num) / double(video->fps_den) / double(divisor);
	}

	std::ostringstream text = ClassicStream();
	text << "Actual output: " << size.width << " " TIMES " " << size.height << " / " << std::setprecision(4) << rate
	     << " fps  " MIDDLE_DOT "  H.264 + AAC";
	return StatusLine{text.str(), color_muted};
}

std::string UploadBudgetText(const PanelSettings &settings)
{
	const int64_t video_kbps = settings.bitrate > 0 ? settings.bitrate : 0;
	const int64_t total_kbps = (video_kbps + audio_bitrate_kbps) * int64_t(EnabledCount(settings));
	const double mbps = double(total_kbps) * overhead_factor / 1000.0;

	std::ostringstream text = ClassicStream();
	text << std::fixed << std::setprecision(1) << mbps << " Mbps";
	return text.str();
}

} // namespace torvane
