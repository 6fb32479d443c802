// A companion module loaded next to torvane in the host test. Once OBS has
// finished loading it lists the Tools menu, triggers Torvane's entry, switches
// profile and scene collection away and back, and logs every step with the
// prefix "[host-probe]" for the test script to read.
#include <obs-module.h>
#include <obs-frontend-api.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

OBS_DECLARE_MODULE()

namespace {

void Say(const std::string &text)
{
	blog(LOG_INFO, "[host-probe] %s", text.c_str());
}

std::string TakeString(char *owned)
{
	std::string text = owned ? owned : "";
	bfree(owned);
	return text;
}

const char *EventName(obs_frontend_event event)
{
	switch (event) {
	case OBS_FRONTEND_EVENT_PROFILE_CHANGING:
		return "profile changing";
	case OBS_FRONTEND_EVENT_PROFILE_CHANGED:
		return "profile changed";
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGING:
		return "scene collection changing";
	case OBS_FRONTEND_EVENT_SCENE_COLLECTION_CHANGED:
		return "scene collection changed";
	case OBS_FRONTEND_EVENT_EXIT:
		return "exit";
	default:
		return nullptr;
	}
}

QAction *FindTorvaneEntry()
{
	auto *main = static_cast<QMainWindow *>(obs_frontend_get_main_window());
	QMenu *tools = main ? main->findChild<QMenu *>("menuTools") : nullptr;
	if (!tools) {
		Say("no Tools menu");
		return nullptr;
	}
	QAction *entry = nullptr;
	for (QAction *action : tools->actions()) {
		const std::string text = action->text().toStdString();
		if (text.empty())
			continue;
		Say("tools entry: " + text);
		if (text.find("Torvane") != std::string::npos)
			entry = action;
	}
	return entry;
}

// Runs the steps one after another from the event loop, so that each profile or
// collection switch completes before the next begins.
void RunSteps(std::shared_ptr<std::vector<std::function<void()>>> steps, size_t next)
{
	if (next >= steps->size())
		return;
	QTimer::singleShot(500, [steps, next]() {
		(*steps)[next]();
		RunSteps(steps, next + 1);
	});
}

void Start()
{
	auto steps = std::make_shared<std::vector<std::function<void()>>>();
	auto original_profile = std::make_shared<std::string>();
	auto original_collection = std::make_shared<std::string>();

	steps->push_back([]() {
		QAction *entry = FindTorvaneEntry();
		if (entry) {
			entry->trigger();
			Say("triggered the Torvane entry");
		}
	});
	steps->push_back([original_profile]() {
		*original_profile = TakeString(obs_frontend_get_current_profile());
		Say("creating profile from " + *original_profile);
		obs_frontend_create_profile("Host Probe");
	});
	steps->push_back([original_profile]() {
		Say("now on profile " + TakeString(obs_frontend_get_current_profile()));
		obs_frontend_set_current_profile(original_profile->c_str());
	});
	steps->push_back([original_collection]() {
		Say("back on profile " + TakeString(obs_frontend_get_current_profile()));
		*original_collection = TakeString(obs_frontend_get_current_scene_collection());
		obs_frontend_add_scene_collection("Host Probe");
	});
	steps->push_back([original_collection]() {
		Say("now on scene collection " + TakeString(obs_frontend_get_current_scene_collection()));
		obs_frontend_set_current_scene_collection(original_collection->c_str());
	});
	steps->push_back([]() {
		Say("back on scene collection " + TakeString(obs_frontend_get_current_scene_collection()));
		Say("done");
	});
	RunSteps(steps, 0);
}

void OnEvent(obs_frontend_event event, void *)
{
	if (event == OBS_FRONTEND_EVENT_FINISHED_LOADING) {
		Start();
		return;
	}
	if (const char *name = EventName(event))
		Say(std::string("event: ") + name);
}

} // namespace

bool obs_module_load(void)
{
	obs_frontend_add_event_callback(OnEvent, nullptr);
	return true;
}

void obs_module_unload(void)
{
	obs_frontend_remove_event_callback(OnEvent, nullptr);
	Say("unloaded");
}
