#include "panel/live_status.h"

namespace torvane {

// Placeholder bodies until the live texts land.
StatusLine DestinationStatusLine(const Destination &, const DestinationStats &)
{
	return StatusLine();
}

std::string HeaderCountText(const PanelSettings &, const MultistreamEngine &)
{
	return std::string();
}

StatusLine ActualOutputLine(const PanelSettings &, const obs_video_info *)
{
	return StatusLine();
}

std::string UploadBudgetText(const PanelSettings &)
{
	return std::string();
}

} // namespace torvane
