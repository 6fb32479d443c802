// Stands in for obs-frontend-api.dll: records the Tools menu entries and the
// event callbacks a module registers, and raises events to them.
#include <obs-frontend-api.h>

#include "stub_host.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct MenuItem {
	std::string text;
	obs_frontend_cb callback;
	void *data;
};

struct EventCallback {
	obs_frontend_event_cb callback;
	void *data;
};

std::vector<MenuItem> menu_items;
std::vector<EventCallback> event_callbacks;
void *main_window = nullptr;

} // namespace

void obs_frontend_add_tools_menu_item(const char *name, obs_frontend_cb callback, void *private_data)
{
	menu_items.push_back({name, callback, private_data});
}

void obs_frontend_add_event_callback(obs_frontend_event_cb callback, void *private_data)
{
	event_callbacks.push_back({callback, private_data});
}

void obs_frontend_remove_event_callback(obs_frontend_event_cb callback, void *private_data)
{
	// OBS removes only the pair registered together.
	auto it = std::find_if(event_callbacks.begin(), event_callbacks.end(), [&](const EventCallback &c) {
		return c.callback == callback && c.data == private_data;
	});
	if (it != event_callbacks.end())
		event_callbacks.erase(it);
}

void *obs_frontend_get_main_window_handle(void)
{
	return main_window;
}

void stub_frontend_set_main_window(void *window)
{
	main_window = window;
}

void stub_frontend_reset(void)
{
	main_window = nullptr;
	menu_items.clear();
	event_callbacks.clear();
}

int stub_frontend_menu_count(void)
{
	return static_cast<int>(menu_items.size());
}

const char *stub_frontend_menu_text(int index)
{
	return menu_items.at(index).text.c_str();
}

obs_frontend_cb stub_frontend_menu_callback(int index)
{
	return menu_items.at(index).callback;
}

void *stub_frontend_menu_data(int index)
{
	return menu_items.at(index).data;
}

int stub_frontend_event_callback_count(void)
{
	return static_cast<int>(event_callbacks.size());
}

void *stub_frontend_event_callback_data(int index)
{
	return event_callbacks.at(index).data;
}

void stub_frontend_raise(enum obs_frontend_event event)
{
	const std::vector<EventCallback> callbacks = event_callbacks;
	for (const EventCallback &c : callbacks)
		c.callback(event, c.data);
}
