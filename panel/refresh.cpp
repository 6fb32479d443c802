// What the panel re-evaluates on every tick of its timer: which controls may
// be used, and which rows and texts must be repainted.
#include "panel/refresh.h"

#include "panel/form.h"

namespace torvane {

namespace {

void SetEnabledIfDifferent(Panel &panel, int32_t id, bool enabled)
{
	if (panel.ui.IsEnabled(id) != enabled)
		panel.ui.SetEnabled(id, enabled);
}

bool SameLine(const StatusLine &a, const StatusLine &b)
{
	return a.text == b.text && a.tone == b.tone;
}

} // namespace

void UpdateControlStates(Panel &panel)
{
	const bool busy = panel.controller.engine.IsBusy();
	const bool editable = MayEdit(panel.controller);
	for (const ControlSpec &control : panel_controls) {
		if (!control.form)
			continue;
		SetEnabledIfDifferent(panel, control.id, editable && IsControlUsable(panel, control.id));
	}
	SetEnabledIfDifferent(panel, id_start, editable);
	SetEnabledIfDifferent(panel, id_stop, busy);
	LiveRefresh(panel);
}

void OnTimer(Panel &panel)
{
	Tick(panel.controller);
	UpdateControlStates(panel);
}

void LiveRefresh(Panel &panel)
{
	Snapshot now = TakeSnapshot(panel.controller, SelectedIndex(panel));
	Snapshot &shown = panel.state.shown;
	const uint32_t dpi = panel.state.dpi;
	for (size_t i = 0; i < now.rows.size(); i++)
		if (i >= shown.rows.size() || now.rows[i] != shown.rows[i])
			panel.ui.InvalidateRow(static_cast<int32_t>(i));
	if (now.header != shown.header)
		panel.ui.InvalidateArea(ScaleEdges(header_count_area, dpi));
	if (!SameLine(now.output_line, shown.output_line))
		panel.ui.InvalidateArea(ScaleEdges(summary_area, dpi));
	if (now.status.text != shown.status.text || now.status.error != shown.status.error)
		panel.ui.InvalidateArea(ScaleEdges(status_area, dpi));
	if (now.upload_budget != shown.upload_budget)
		panel.ui.InvalidateArea(ScaleEdges(upload_budget_area, dpi));
	shown = std::move(now);
}

void AfterCommand(Panel &panel)
{
	SyncForm(panel);
	UpdateControlStates(panel);
	panel.ui.InvalidatePanel();
}

void OnPanelDestroyed(PanelState &state)
{
	state.hovered_button = 0;
	state.shown = Snapshot();
}

} // namespace torvane
