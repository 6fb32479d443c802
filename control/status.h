#pragma once

#include "engine/engine.h"
#include "settings/model.h"

#include <cstdint>
#include <string>

struct obs_video_info;

// The live texts that every view of Torvane shows: each destination's status
// line, the header count, the actual output line and the upload budget.
// Composed in UTF-8; a toolkit converts when it draws.
namespace torvane {

// How a text stands out; each view picks its own colour for it.
enum class Tone { Muted, Accent, Error };

struct StatusLine {
	std::string text;
	Tone tone = Tone::Muted;
};

StatusLine DestinationStatusLine(const Destination &destination, const DestinationStats &stats);

// The small figure drawn right-aligned beside an included destination's status
// line: its bitrate while sending, its reconnection progress while
// reconnecting, else nothing.
std::string LiveFigure(const Destination &destination, const DestinationStats &stats);

// What a row's action does: start a resting destination, stop a busy one, or
// stop what is left of a failed one and start it again.
enum class RowAction { None, Start, Stop, Retry };

size_t EnabledCount(const PanelSettings &settings);

std::string HeaderCountText(const PanelSettings &settings, const MultistreamEngine &engine);

// What the encoder gets from the host's video, by the engine's own rules:
// zeros without video.
struct ActualOutput {
	EncodedSize size;
	double fps = 0.0;
};
ActualOutput ActualOutputFor(const Quality &quality, const obs_video_info *video, bool vertical = false);

// A frame rate as the actual output line shows it: "29.97", "60".
std::string FpsText(double fps);

// What one quality comes to: `video` is the host's video settings, or null when
// the host has none; a vertical picture is sent at 9:16 from the quality's height.
StatusLine ActualOutputLine(const Quality &quality, const obs_video_info *video, bool vertical = false);

// Each enabled destination's video bitrate and the audio, with the overhead; a
// destination that sends OBS's own stream counts `obs_stream_kbps` (video and
// audio) instead.
std::string UploadBudgetText(const PanelSettings &settings, int64_t obs_stream_kbps = 0);

// A quality in short for a destination's row: "720p30 · 2,500 kbps".
std::string QualityShortText(const Quality &quality);

// A picture in short for a destination's row: "9:16", a scene's name, or
// nothing for the program.
std::string PictureShortText(const Picture &picture);

// A picture as its menu names it: "Program", "Scene: NAME", "Vertical 9:16"...
std::string PictureChoiceName(const Picture &picture);

} // namespace torvane
