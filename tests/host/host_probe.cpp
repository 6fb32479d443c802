// A companion module loaded next to torvane in the host tests. Once OBS has
// finished loading it runs one of its scripts, chosen by the environment
// variable TORVANE_HOST_PROBE, and logs every step with the prefix
// "[host-probe]" for the test script to read:
//   (unset)  lists the Tools menu, triggers Torvane's entry, switches profile
//            and scene collection away and back;
//   stream   uses the panel as a person would: adds a custom destination for
//            the server in TORVANE_HOST_PROBE_SERVER, ticks it, starts, waits
//            for "Sending", stops, waits for "Ready" and closes the panel;
//   reopen   opens the panel again and reports the fifth destination's fields;
//   question opens the panel and presses Remove, leaving its question open for
//            the test to stop OBS under it.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include <obs-module.h>
#include <obs-frontend-api.h>

#include <cstdlib>

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

QWidget *FindPanel()
{
	for (QWidget *widget : QApplication::topLevelWidgets())
		if (widget->windowTitle() == QString::fromUtf8("Torvane \xE2\x80\x94 Multistream for OBS"))
			return widget;
	return nullptr;
}

QWidget *Control(int id)
{
	QWidget *panel = FindPanel();
	return panel ? panel->findChild<QWidget *>(QStringLiteral("control%1").arg(id)) : nullptr;
}

void Click(int id)
{
	if (QWidget *control = Control(id))
		QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
	else
		Say("no control " + std::to_string(id));
}

void TypeInto(int id, const char *text)
{
	auto *field = qobject_cast<QLineEdit *>(Control(id));
	if (!field) {
		Say("no field " + std::to_string(id));
		return;
	}
	QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
	field->selectAll();
	QTest::keyClicks(field, QString::fromUtf8(text));
}

std::string Rows()
{
	QWidget *list = Control(101);
	return list ? list->accessibleDescription().replace(QLatin1Char('\n'), QStringLiteral(" | ")).toStdString()
		    : std::string("no list");
}

void OpenPanel()
{
	if (QAction *entry = FindTorvaneEntry())
		entry->trigger();
	QWidget *panel = FindPanel();
	Say(std::string("panel ") + (panel && panel->isVisible() ? "shown" : "missing"));
}

// Calls `step` every 500 ms until it returns true or `tries` run out, then
// `next`.
void Poll(std::function<bool()> step, int tries, std::function<void()> next)
{
	if (step() || tries <= 0) {
		next();
		return;
	}
	QTimer::singleShot(500, [step, tries, next]() { Poll(step, tries - 1, next); });
}

void StreamScript()
{
	const char *server = std::getenv("TORVANE_HOST_PROBE_SERVER");
	const std::string url = server ? server : "rtmp://127.0.0.1:1935/app";
	auto finish = []() {
		QWidget *panel = FindPanel();
		if (panel)
			panel->close();
		QTimer::singleShot(300, []() {
			QWidget *closed = FindPanel();
			Say(std::string("panel ") + (closed && !closed->isVisible() ? "hidden" : "still shown"));
			Say("done");
		});
	};
	auto stop = [finish]() {
		Say("rows: " + Rows());
		Click(111);
		Say("clicked Stop all");
		Poll([]() { return Rows().find("Local nginx: Ready") != std::string::npos; }, 40, [finish]() {
			Say("rows: " + Rows());
			finish();
		});
	};
	QTimer::singleShot(500, [url, stop]() {
		OpenPanel();
		Click(112);
		TypeInto(102, "Local nginx");
		TypeInto(103, url.c_str());
		TypeInto(104, "probe-key-123");
		QWidget *list = Control(101);
		if (list) {
			list->setFocus();
			QTest::keyClick(list, Qt::Key_Space);
		}
		Say("rows: " + Rows());
		Click(110);
		Say("clicked Start all");
		Poll([]() { return Rows().find("Local nginx: Sending") != std::string::npos; }, 60, [stop]() {
			Say("rows: " + Rows());
			// Let the server record a few seconds.
			QTimer::singleShot(4000, stop);
		});
	});
}

void ReopenScript()
{
	QTimer::singleShot(500, []() {
		OpenPanel();
		Say("rows: " + Rows());
		if (QWidget *list = Control(101)) {
			list->setFocus();
			for (int i = 0; i < 4; i++)
				QTest::keyClick(list, Qt::Key_Down);
		}
		for (int id : {102, 103, 104}) {
			auto *field = qobject_cast<QLineEdit *>(Control(id));
			Say("field " + std::to_string(id) + ": " + (field ? field->text().toStdString() : "missing"));
		}
		Say("done");
	});
}

void QuestionScript()
{
	QTimer::singleShot(500, []() {
		OpenPanel();
		// Remove's question runs its own event loop; this reports from inside it.
		QTimer::singleShot(1000, []() {
			for (QWidget *widget : QApplication::topLevelWidgets())
				if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
					Say("box shown: " + box->text().toStdString());
			Say("done");
		});
		Click(113);
	});
}

void Start()
{
	const char *script = std::getenv("TORVANE_HOST_PROBE");
	if (script && std::string(script) == "question") {
		QuestionScript();
		return;
	}
	if (script && std::string(script) == "stream") {
		StreamScript();
		return;
	}
	if (script && std::string(script) == "reopen") {
		ReopenScript();
		return;
	}

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
