#include "panel/panel_state.h"

namespace torvane {

int32_t DestinationCount(const Panel &panel)
{
	return static_cast<int32_t>(panel.controller.store.settings.destinations.size());
}

bool HasSelection(const Panel &panel)
{
	return panel.state.selected_index >= 0 && panel.state.selected_index < DestinationCount(panel);
}

const Destination &Selected(const Panel &panel)
{
	return panel.controller.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)];
}

std::optional<size_t> SelectedIndex(const Panel &panel)
{
	if (!HasSelection(panel))
		return std::nullopt;
	return static_cast<size_t>(panel.state.selected_index);
}

Quality SelectedQuality(const Panel &panel)
{
	const PanelSettings &settings = panel.controller.store.settings;
	return HasSelection(panel) ? QualityOf(settings, Selected(panel)) : SharedQuality(settings);
}

} // namespace torvane
