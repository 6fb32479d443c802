// The destination list: its rows, ticks, selection and navigation keys.
#include "panel/list.h"

#include "panel/form.h"

namespace torvane {

void RebuildRows(Panel &panel)
{
	panel.state.form_guard = true;
	const int32_t count = DestinationCount(panel);
	panel.ui.SetRowCount(count);
	if (count == 0) {
		panel.state.selected_index = -1;
		panel.ui.SelectRow(-1);
		panel.state.form_guard = false;
		LoadForm(panel);
		return;
	}
	if (panel.state.selected_index >= count)
		panel.state.selected_index = count - 1;
	if (panel.state.selected_index < 0)
		panel.state.selected_index = 0;
	panel.ui.SelectRow(panel.state.selected_index);
	panel.state.form_guard = false;
	LoadForm(panel);
}

int32_t ListKeyTarget(ListKey key, int32_t current, int32_t count, int32_t top, int32_t per_page)
{
	if (count <= 0)
		return -1;
	per_page = per_page < 1 ? 1 : per_page;
	int32_t target = current;
	switch (key) {
	case ListKey::Up:
		target = current - 1;
		break;
	case ListKey::Down:
		target = current + 1;
		break;
	case ListKey::Home:
		target = 0;
		break;
	case ListKey::End:
		target = count - 1;
		break;
	case ListKey::PageUp:
		// To the first visible row, or from there one page further up.
		target = current == top ? top - per_page + 1 : top;
		break;
	case ListKey::PageDown:
		// To the last visible row, or from there one page further down.
		target = current == top + per_page - 1 ? current + per_page - 1 : top + per_page - 1;
		break;
	}
	return target < 0 ? 0 : target >= count ? count - 1 : target;
}

bool CanChangeTicks(const Panel &panel)
{
	return MayEdit(panel.controller);
}

void ToggleTick(Panel &panel, int32_t row)
{
	if (row < 0 || row >= DestinationCount(panel))
		return;
	const auto index = static_cast<size_t>(row);
	if (!SetIncluded(panel.controller, index, !panel.controller.store.settings.destinations[index].enabled).Ok())
		return;
	// The header count and the upload budget follow the tick.
	panel.ui.InvalidatePanel();
	panel.ui.InvalidateRow(row);
	if (row != panel.state.selected_index) {
		panel.ui.SelectRow(row);
		OnRowSelected(panel, row);
	}
}

void OnTickChanged(Panel &panel, int32_t row, bool ticked)
{
	if (panel.state.form_guard || row < 0 || row >= DestinationCount(panel))
		return;
	if (panel.controller.store.settings.destinations[static_cast<size_t>(row)].enabled == ticked)
		return;
	if (!SetIncluded(panel.controller, static_cast<size_t>(row), ticked).Ok())
		return;
	panel.ui.InvalidatePanel();
	panel.ui.InvalidateRow(row);
}

void OnRowSelected(Panel &panel, int32_t row)
{
	if (panel.state.form_guard || row < 0 || row >= DestinationCount(panel) || row == panel.state.selected_index)
		return;
	panel.state.selected_index = row;
	LoadForm(panel);
	panel.ui.InvalidateList();
}

} // namespace torvane
