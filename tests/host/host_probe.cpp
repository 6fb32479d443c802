// A companion module for the host tests: once OBS has loaded, it runs the
// script TORVANE_HOST_PROBE names (see Start) and logs with "[host-probe]".
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include <obs-frontend-api.h>
#include <obs-module.h>

#include <functional>
#include <memory>
#include <string>

OBS_DECLARE_MODULE()

namespace {

void Say(const std::string &text)
{
	blog(LOG_INFO, "[host-probe] %s", text.c_str());
}

std::string Take(char *owned)
{
	std::string text = owned ? owned : "";
	bfree(owned);
	return text;
}

QWidget *Control(int id)
{
	for (QWidget *widget : QApplication::topLevelWidgets())
		if (widget->windowTitle() == QString::fromUtf8("Torvane \xE2\x80\x94 Multistream for OBS"))
			return id ? widget->findChild<QWidget *>(QStringLiteral("control%1").arg(id)) : widget;
	return nullptr;
}

void Click(int id)
{
	if (QWidget *control = Control(id))
		QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

QLineEdit *Field(int id)
{
	return qobject_cast<QLineEdit *>(Control(id));
}

std::string Rows()
{
	QWidget *list = Control(101);
	return list ? list->accessibleDescription().replace(QLatin1Char('\n'), QStringLiteral(" | ")).toStdString()
		    : "";
}

void OpenPanel()
{
	auto *main = static_cast<QMainWindow *>(obs_frontend_get_main_window());
	for (QAction *action : main->findChild<QMenu *>("menuTools")->actions()) {
		if (action->text().isEmpty())
			continue;
		Say("tools entry: " + action->text().toStdString());
		if (action->text().contains(QStringLiteral("Torvane")))
			action->trigger();
	}
	Say(std::string("panel ") + (Control(0) && Control(0)->isVisible() ? "shown" : "missing"));
}

// Runs the steps 500 ms apart (at most 240 tries); a step returning false is
// tried again, so each switch of profile or collection completes first.
void Run(std::vector<std::function<bool()>> steps, size_t next = 0, int tries = 240)
{
	if (next < steps.size() && tries > 0)
		QTimer::singleShot(500, [=]() { Run(steps, next + steps[next](), tries - 1); });
}

// stream: adds a destination for TORVANE_HOST_PROBE_SERVER, ticks it, starts,
// waits for Sending, stops, waits for Ready and closes the panel. Otherwise:
// compares the fifth destination with TORVANE_HOST_PROBE_FIELDS if set, switches
// profile and scene collection away and back, then leaves Remove's question
// open for the test to stop OBS under it.
void Start()
{
	if (getenv("TORVANE_HOST_PROBE") && std::string(getenv("TORVANE_HOST_PROBE")) == "stream") {
		const std::string server = getenv("TORVANE_HOST_PROBE_SERVER");
		Run({[]() { return OpenPanel(), Click(112), true; },
		     [server]() {
			     const std::string typed[] = {"Local nginx", server, "probe-key-123", "probe-user",
							  "probe-pass-456"};
			     for (int i = 0; i < 5; i++) {
				     Field(102 + i)->setFocus();
				     Field(102 + i)->selectAll();
				     QTest::keyClicks(Field(102 + i), QString::fromStdString(typed[i]));
			     }
			     Control(101)->setFocus();
			     QTest::keyClick(Control(101), Qt::Key_Space);
			     return Click(110), true;
		     },
		     []() { return Rows().find("Local nginx: Sending") != std::string::npos; },
		     [ticks = std::make_shared<int>(0)]() { return ++*ticks > 8; }, // lets the server record
		     []() { return Say("rows: " + Rows()), Click(111), true; },
		     []() { return Rows().find("Local nginx: Ready") != std::string::npos; },
		     []() {
			     Say("rows: " + Rows());
			     Control(0)->close();
			     Say(std::string("panel ") + (Control(0)->isVisible() ? "still shown" : "hidden"));
			     return Say("done"), true;
		     }});
		return;
	}
	auto profile = std::make_shared<std::string>(), collection = std::make_shared<std::string>();
	Run({[profile]() {
		     OpenPanel();
		     for (int i = 0; i < 4; i++)
			     QTest::keyClick(Control(101), Qt::Key_Down);
		     std::string fields;
		     for (int id : {102, 103, 104, 105, 106})
			     fields += Field(id)->text().toStdString() + "|"; // not logged: it holds secrets
		     if (const char *expected = getenv("TORVANE_HOST_PROBE_FIELDS"))
			     Say(fields == expected ? "fields came back" : "fields differ");
		     *profile = Take(obs_frontend_get_current_profile());
		     return obs_frontend_create_profile("Host Probe"), true;
	     },
	     [profile]() {
		     Say("now on profile " + Take(obs_frontend_get_current_profile()));
		     return obs_frontend_set_current_profile(profile->c_str()), true;
	     },
	     [collection]() {
		     *collection = Take(obs_frontend_get_current_scene_collection());
		     return obs_frontend_add_scene_collection("Host Probe"), true;
	     },
	     [collection]() {
		     Say("now on scene collection " + Take(obs_frontend_get_current_scene_collection()));
		     return obs_frontend_set_current_scene_collection(collection->c_str()), true;
	     },
	     []() {
		     QTimer::singleShot(1000, []() {
			     for (QWidget *widget : QApplication::topLevelWidgets())
				     if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
					     Say("box shown: " + box->text().toStdString());
			     Say("done");
		     });
		     return Click(113), true;
	     }});
}

void OnEvent(obs_frontend_event event, void *)
{
	if (event == OBS_FRONTEND_EVENT_FINISHED_LOADING)
		QTimer::singleShot(500, Start);
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
