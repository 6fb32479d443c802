// Stands in for obs-frontend-api.dll: keeps the Tools menu entries and event
// callbacks a module registers and raises events to them as OBS does.
#include "stub_host.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

std::vector<std::tuple<std::string, obs_frontend_cb, void *>> menu;
std::vector<std::pair<obs_frontend_event_cb, void *>> callbacks;
void *main_window = nullptr;

} // namespace

void obs_frontend_add_tools_menu_item(const char *name, obs_frontend_cb callback, void *private_data)
{
	menu.emplace_back(name, callback, private_data);
}

void obs_frontend_add_event_callback(obs_frontend_event_cb callback, void *private_data)
{
	callbacks.emplace_back(callback, private_data);
}

// OBS removes only the pair registered together.
void obs_frontend_remove_event_callback(obs_frontend_event_cb callback, void *private_data)
{
	for (auto it = callbacks.begin(); it != callbacks.end(); ++it)
		if (*it == std::pair(callback, private_data))
			return void(callbacks.erase(it));
}

void *obs_frontend_get_main_window_handle(void)
{
	return main_window;
}

void stub_frontend_reset(void *window)
{
	menu.clear();
	callbacks.clear();
	main_window = window;
}

int stub_frontend_menu_count(void)
{
	return static_cast<int>(menu.size());
}

const char *stub_frontend_menu_text(int index)
{
	return std::get<0>(menu.at(static_cast<size_t>(index))).c_str();
}

void stub_frontend_pick(int index)
{
	const auto &[text, callback, data] = menu.at(static_cast<size_t>(index));
	callback(data);
}

int stub_frontend_event_callback_count(void)
{
	return static_cast<int>(callbacks.size());
}

void stub_frontend_raise(enum obs_frontend_event event)
{
	for (const auto &[callback, data] : std::vector(callbacks))
		callback(event, data);
}
