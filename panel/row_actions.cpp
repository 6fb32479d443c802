// Each destination's own start, stop and retry, beside "Start all" and "Stop all".
#include "panel/commands.h"

#include "settings/utf8.h"
#include "settings/texts.h"

namespace torvane {

namespace {

// What "Start all" does before it starts (commit the form, complete Kick URLs,
// save), then the start of one destination.
void StartRow(Panel &panel, int32_t row)
{
	if (!SaveFromPanel(panel))
		return;
	std::string error;
	if (panel.engine.StartDestination(panel.store.settings, static_cast<uint64_t>(row), error))
		SetStatus(panel, Tr16(Txt::Started));
	else
		ReportError(panel, error);
}

} // namespace

RowAction RowActionFor(const Panel &panel, int32_t row)
{
	if (row < 0 || row >= DestinationCount(panel))
		return RowAction::None;
	const auto index = static_cast<uint64_t>(row);
	const DestinationState state = panel.engine.GetStats(index).state;
	if (panel.engine.IsDestinationBusy(index))
		return state == DestinationState::Stopping ? RowAction::None : RowAction::Stop;
	// A start saves first, which unusable settings refuse.
	if (!panel.store.settings.destinations[static_cast<size_t>(row)].enabled || !panel.store.usable)
		return RowAction::None;
	return state == DestinationState::Failed ? RowAction::Retry : RowAction::Start;
}

std::u16string RowActionLabel(RowAction action)
{
	switch (action) {
	case RowAction::Start:
		return Tr16(Txt::RowStart);
	case RowAction::Stop:
		return Tr16(Txt::RowStop);
	case RowAction::Retry:
		return Tr16(Txt::RowRetry);
	case RowAction::None:
		break;
	}
	return std::u16string();
}

void RunRowAction(Panel &panel, int32_t row, RowAction expected)
{
	const RowAction action = RowActionFor(panel, row);
	if (action == RowAction::None || action != expected)
		return;
	if (action == RowAction::Stop) {
		panel.engine.StopDestination(static_cast<uint64_t>(row));
	} else {
		if (action == RowAction::Retry)
			panel.engine.StopDestination(static_cast<uint64_t>(row));
		StartRow(panel, row);
	}
	UpdateControlStates(panel);
	panel.ui.InvalidatePanel();
}

bool InRowActionStrip(const Rect &item, int32_t x, uint32_t dpi)
{
	return x >= item.right - Scale(action_strip_width, dpi) && x < item.right;
}

void OnListEnter(Panel &panel)
{
	const int32_t row = panel.state.selected_index;
	RunRowAction(panel, row, RowActionFor(panel, row));
}

} // namespace torvane
