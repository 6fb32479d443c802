// Each destination's own start, stop and retry, beside "Start all" and "Stop all".
#include "panel/row_actions.h"

#include "panel/commands.h"
#include "settings/texts.h"

namespace torvane {

RowAction RowActionFor(const Panel &panel, int32_t row)
{
	return row < 0 ? RowAction::None : RowActionFor(panel.controller, static_cast<size_t>(row));
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
	if (row >= 0)
		ShowOutcome(panel, RunRowAction(panel.controller, static_cast<size_t>(row), expected));
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
