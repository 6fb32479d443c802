#pragma once

#include "panel/panel_state.h"

// The destination list: its rows, ticks, selection and navigation keys.
namespace torvane {

void RebuildRows(Panel &panel);
bool CanChangeTicks(const Panel &panel);
void ToggleTick(Panel &panel, int32_t row);
// The list changed a row's tick by itself (the toolkit refused it beforehand
// when CanChangeTicks is false): the destination follows, the selection stays.
void OnTickChanged(Panel &panel, int32_t row, bool ticked);
void OnRowSelected(Panel &panel, int32_t row);

// The list's navigation keys move the selection as the Windows list view does
// in its report view. `top` is the first visible row and `per_page` how many
// rows fit; returns the row to select, -1 when the list is empty.
enum class ListKey { Up, Down, Home, End, PageUp, PageDown };
int32_t ListKeyTarget(ListKey key, int32_t current, int32_t count, int32_t top, int32_t per_page);

} // namespace torvane
