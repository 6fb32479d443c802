// A companion module for the host tests: once OBS has loaded, it runs the
// script TORVANE_HOST_PROBE names (see Start) and logs with "[host-probe]".
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

#include <obs-frontend-api.h>
#include <obs-module.h>

#include <signal.h>

#include <cstdlib>
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

// Types a destination into the form of the selected row and ticks it.
void TypeDestination(const std::string (&typed)[5])
{
	for (int i = 0; i < 5; i++) {
		Field(102 + i)->setFocus();
		Field(102 + i)->selectAll();
		QTest::keyClicks(Field(102 + i), QString::fromStdString(typed[i]));
	}
	Control(101)->setFocus();
	QTest::keyClick(Control(101), Qt::Key_Space);
}

bool RowsRead(std::initializer_list<const char *> parts)
{
	const std::string rows = Rows();
	for (const char *part : parts)
		if (rows.find(part) == std::string::npos)
			return false;
	return true;
}

// Selects a row with the keyboard, as far down as it is.
void SelectRow(int row)
{
	QTest::keyClick(Control(101), Qt::Key_Home);
	for (int i = 0; i < row; i++)
		QTest::keyClick(Control(101), Qt::Key_Down);
}

// A click on the action strip at the right end of a (visible) row.
void ClickRowAction(int row)
{
	auto *list = qobject_cast<QAbstractScrollArea *>(Control(101));
	const int height = (62 * Control(0)->width() + 500) / 1000; // the row height at the panel's DPI
	const QPoint at(list->viewport()->width() - height / 4,
			row * height - list->verticalScrollBar()->value() + height / 2);
	QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Opens the selected row's context menu from the keyboard and picks its one
// enabled entry, logging the entries.
void PickFromRowMenu()
{
	QTimer::singleShot(300, []() {
		auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
		if (!menu)
			return Say("no row menu");
		std::string entries;
		for (QAction *action : menu->actions()) {
			entries += action->text().toStdString() + (action->isEnabled() ? "+ " : "- ");
			if (action->isEnabled())
				menu->setActiveAction(action);
		}
		Say("row menu: " + entries);
		QTest::keyClick(menu, Qt::Key_Return);
	});
	QWidget *viewport = qobject_cast<QAbstractScrollArea *>(Control(101))->viewport();
	QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), viewport->mapToGlobal(QPoint()));
	QApplication::sendEvent(viewport, &event);
}

// Runs the steps 500 ms apart (at most 240 tries); a step returning false is
// tried again, so each switch of profile or collection completes first.
void Run(std::vector<std::function<bool()>> steps, size_t next = 0, int tries = 240)
{
	if (next < steps.size() && tries > 0)
		QTimer::singleShot(500, [=]() { Run(steps, next + steps[next](), tries - 1); });
}

// (unset): opens the panel, switches profile and scene collection away and
// back, then leaves Remove's question open for the test to stop OBS under it.
// stream: adds a destination for TORVANE_HOST_PROBE_SERVER, ticks it, starts,
// waits for Sending, stops, waits for Ready and closes the panel.
// reopen: compares the fifth destination with TORVANE_HOST_PROBE_FIELDS.
// rows: adds "Server 1" to "Server 3" for the three servers TORVANE_HOST_PROBE_SERVERS
// names (space-separated), starts all, stops Server 2 from its context menu,
// starts it again from its action strip, stops it with Enter, ends the server
// whose process TORVANE_HOST_PROBE_KILL names so Server 3 reconnects, saves a
// picture of the panel to TORVANE_HOST_PROBE_SHOT and stops all.
void Start()
{
	const std::string script = getenv("TORVANE_HOST_PROBE") ? getenv("TORVANE_HOST_PROBE") : "";
	if (script == "rows") {
		auto servers = std::make_shared<QStringList>(
			QString::fromUtf8(getenv("TORVANE_HOST_PROBE_SERVERS")).split(QLatin1Char(' ')));
		auto wait = [](int half_seconds) {
			return [ticks = std::make_shared<int>(0), half_seconds]() {
				return ++*ticks > half_seconds;
			};
		};
		auto log_rows = [](const char *when) {
			return [when]() {
				return Say(std::string(when) + ": " + Rows()), true;
			};
		};
		Run({[]() { return OpenPanel(), true; },
		     [servers]() {
			     for (int i = 0; i < 3; i++) {
				     Click(112);
				     const std::string n = std::to_string(i + 1);
				     TypeDestination(
					     {"Server " + n, servers->at(i).toStdString(), "rows-key-" + n, "", ""});
			     }
			     return Click(110), true;
		     },
		     []() {
			     return RowsRead({"Server 1: Sending (", "Server 2: Sending (", "Server 3: Sending ("});
		     },
		     wait(6),
		     log_rows("all sending"),
		     []() { return SelectRow(5), PickFromRowMenu(), true; },
		     []() {
			     return RowsRead({"Server 1: Sending", "Server 2: Ready [Start]", "Server 3: Sending"});
		     },
		     log_rows("one stopped"),
		     []() { return ClickRowAction(5), true; },
		     []() { return RowsRead({"Server 2: Sending ("}); },
		     wait(6),
		     log_rows("started again"),
		     []() { return QTest::keyClick(Control(101), Qt::Key_Return), true; },
		     []() { return RowsRead({"Server 2: Ready [Start]"}); },
		     []() { return kill(std::atoi(getenv("TORVANE_HOST_PROBE_KILL")), SIGTERM) == 0; },
		     []() {
			     return RowsRead({"Server 3: Reconnecting... (attempt ", "Server 1: Sending ("});
		     },
		     [rows = log_rows("one stopped, one reconnecting")]() {
			     Control(0)->grab().save(QString::fromUtf8(getenv("TORVANE_HOST_PROBE_SHOT")));
			     return rows();
		     },
		     []() { return Click(111), true; },
		     []() { return !Control(111)->isEnabled(); },
		     log_rows("stopped"),
		     []() {
			     return Control(0)->close(), Say("done"), true;
		     }});
	} else if (script == "stream") {
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
			     Click(110);
			     return true;
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
	} else if (script == "reopen") {
		Run({[]() {
			OpenPanel();
			for (int i = 0; i < 4; i++)
				QTest::keyClick(Control(101), Qt::Key_Down);
			std::string fields;
			for (int id : {102, 103, 104, 105, 106})
				fields += Field(id)->text().toStdString() + "|"; // not logged: it holds secrets
			Say(fields == getenv("TORVANE_HOST_PROBE_FIELDS") ? "fields came back" : "fields differ");
			return Say("done"), true;
		}});
	} else {
		auto profile = std::make_shared<std::string>(), collection = std::make_shared<std::string>();
		Run({[]() { return OpenPanel(), true; },
		     [profile]() {
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
					     if (auto *box = qobject_cast<QMessageBox *>(widget);
						 box && box->isVisible())
						     Say("box shown: " + box->text().toStdString());
				     Say("done");
			     });
			     return Click(113), true;
		     }});
	}
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
