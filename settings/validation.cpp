#include "settings/validation.h"

namespace torvane {

// Placeholder until the checks land: every configuration passes.
std::string ValidateSettings(const PanelSettings &)
{
	return std::string();
}

} // namespace torvane
