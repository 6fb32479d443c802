// Stands in for obs-frontend-api.dll: keeps the Tools menu entries and event
// callbacks a module registers and raises events to them as OBS does.
#include "stub_host.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<std::pair<obs_frontend_cb, void *>> menu;
std::vector<std::pair<obs_frontend_event_cb, void *>> callbacks;
void *main_window = nullptr;

} // namespace

ANSWER(void, obs_frontend_add_tools_menu_item(const char *, obs_frontend_cb cb, void *data),
       void(menu.emplace_back(cb, data)))
ANSWER(void, obs_frontend_add_event_callback(obs_frontend_event_cb cb, void *data),
       void(callbacks.emplace_back(cb, data)))
ANSWER(void *, obs_frontend_get_main_window_handle(void), main_window)
ANSWER(obs_output_t *, obs_frontend_get_streaming_output(void), nullptr)
void obs_frontend_add_save_callback(obs_frontend_save_cb, void *) {}
void obs_frontend_remove_save_callback(obs_frontend_save_cb, void *) {}

// OBS removes only the pair registered together.
ANSWER(void, obs_frontend_remove_event_callback(obs_frontend_event_cb cb, void *data),
       void(callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), std::pair(cb, data)), callbacks.end())))

ANSWER(void, stub_frontend_reset(void *window), menu.clear(), callbacks.clear(), void(main_window = window))
ANSWER(void, stub_frontend_pick(void), menu.at(0).first(menu.at(0).second))
ANSWER(int, stub_frontend_event_callback_count(void), static_cast<int>(callbacks.size()))

void stub_frontend_raise(enum obs_frontend_event event)
{
	for (const auto &[callback, data] : std::vector(callbacks))
		callback(event, data);
}
