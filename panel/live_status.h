#pragma once

#include "engine/engine.h"
#include "panel/theme.h"
#include "settings/model.h"

#include <cstdint>
#include <string>

struct obs_video_info;

// The live texts of the panel: each destination's status line, the header
// count, the actual output line and the upload budget. Composed in UTF-8; the
// toolkit converts when it draws.
namespace torvane {

// A text with its colour.
struct StatusLine {
	std::string text;
	Color color;
};

StatusLine DestinationStatusLine(const Destination &destination, const DestinationStats &stats);

// The small figure drawn right-aligned beside an included destination's status
// line: its bitrate while sending, its reconnection progress while
// reconnecting, else nothing.
std::string LiveFigure(const Destination &destination, const DestinationStats &stats);

// What a row's action does: start a resting destination, stop a busy one, or
// stop what is left of a failed one and start it again.
enum class RowAction { None, Start, Stop, Retry };

// Everything of a row that changes while streaming; the live refresh repaints
// a row when any of it changed.
struct RowLook {
	StatusLine status;
	std::string figure;
	RowAction action = RowAction::None;
};

std::string HeaderCountText(const PanelSettings &settings, const MultistreamEngine &engine);

// `video` is the host's video settings, or null when the host has none.
StatusLine ActualOutputLine(const PanelSettings &settings, const obs_video_info *video);

std::string UploadBudgetText(const PanelSettings &settings);

} // namespace torvane
