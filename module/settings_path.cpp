// The settings store's first load, with the path of "settings.dpapi" in the
// module's configuration folder as the host reports it.
#include <obs-module.h>

#include "settings/store.h"

namespace torvane {

static char *HostSettingsPath()
{
	return obs_module_get_config_path(obs_current_module(), settings_file_name);
}

void EnsureSettingsLoaded()
{
	EnsureSettingsLoaded(settings_store, HostSettingsPath);
}

} // namespace torvane
