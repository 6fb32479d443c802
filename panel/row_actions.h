#pragma once

#include "panel/layout.h"
#include "panel/panel_state.h"

#include <string>

// Each destination's own start, stop and retry, on its row's right side, on
// its context menu and on Enter.
namespace torvane {

// The row's action as the controller offers it; None for no row.
RowAction RowActionFor(const Panel &panel, int32_t row);
// The action's name on the row's context menu.
std::u16string RowActionLabel(RowAction action);
// The context menu's entries, in order; only the row's own action is enabled.
inline constexpr RowAction row_menu_actions[] = {RowAction::Start, RowAction::Stop, RowAction::Retry};
// Runs the row's action when it is `expected` (what the user saw and chose).
void RunRowAction(Panel &panel, int32_t row, RowAction expected);
// A click in the list at x in a row whose rectangle is `item`: whether it falls
// in the action strip at the row's right side (`dpi` the panel's).
bool InRowActionStrip(const Rect &item, int32_t x, uint32_t dpi);
// Enter in the list: the selected row's action.
void OnListEnter(Panel &panel);

} // namespace torvane
