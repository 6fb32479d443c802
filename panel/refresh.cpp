// What the panel re-evaluates on every tick of its timer: which controls may
// be used, and which rows and texts must be repainted.
#include "panel/commands.h"

#include "panel/theme.h"

#include <obs.h>

namespace torvane {

namespace {

void SetEnabledIfDifferent(Panel &panel, int32_t id, bool enabled)
{
	if (panel.ui.IsEnabled(id) != enabled)
		panel.ui.SetEnabled(id, enabled);
}

bool SameLine(const StatusLine &a, const StatusLine &b)
{
	return a.text == b.text && a.color == b.color;
}

bool SameLook(const RowLook &a, const RowLook &b)
{
	return SameLine(a.status, b.status) && a.figure == b.figure && a.action == b.action;
}

} // namespace

void UpdateControlStates(Panel &panel)
{
	const bool busy = panel.engine.IsBusy();
	const bool editable = !busy && panel.store.usable;
	for (const ControlSpec &control : panel_controls) {
		if (!control.form)
			continue;
		const bool needs_selection = IsSelectionControl(control.id);
		SetEnabledIfDifferent(panel, control.id,
				      editable && (!needs_selection || panel.state.selected_index >= 0));
	}
	SetEnabledIfDifferent(panel, id_start, editable);
	SetEnabledIfDifferent(panel, id_stop, busy);
	LiveRefresh(panel);
}

void OnTimer(Panel &panel)
{
	// The bitrate figures count what was sent since the last tick.
	panel.engine.SampleThroughput();
	UpdateControlStates(panel);
}

const obs_video_info *ReadVideoInfo(const Panel &panel, obs_video_info &storage)
{
	storage = obs_video_info();
	return panel.video_info && panel.video_info(&storage) ? &storage : nullptr;
}

void LiveRefresh(Panel &panel)
{
	const PanelSettings &settings = panel.store.settings;
	std::vector<RowLook> rows;
	rows.reserve(settings.destinations.size());
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const DestinationStats stats = panel.engine.GetStats(i);
		rows.push_back({DestinationStatusLine(settings.destinations[i], stats),
				LiveFigure(settings.destinations[i], stats),
				RowActionFor(panel, static_cast<int32_t>(i))});
	}

	obs_video_info video;
	StatusLine summary = ActualOutputLine(settings, ReadVideoInfo(panel, video));
	std::string header = HeaderCountText(settings, panel.engine);

	PanelState &state = panel.state;
	for (size_t i = 0; i < rows.size(); i++)
		if (i >= state.cached_rows.size() || !SameLook(rows[i], state.cached_rows[i]))
			panel.ui.InvalidateRow(static_cast<int32_t>(i));
	state.cached_rows = std::move(rows);

	if (header != state.cached_header) {
		panel.ui.InvalidateArea(ScaleEdges(header_count_area, state.dpi));
		state.cached_header = std::move(header);
	}
	if (!SameLine(summary, state.cached_summary)) {
		panel.ui.InvalidateArea(ScaleEdges(summary_area, state.dpi));
		state.cached_summary = std::move(summary);
	}
}

void OnPanelDestroyed(PanelState &state)
{
	state.hovered_button = 0;
	state.cached_rows.clear();
	state.cached_header.clear();
	state.cached_summary = StatusLine{std::string(), color_muted};
}

} // namespace torvane
