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
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

#include <obs-frontend-api.h>
#include <obs-module.h>
#include <obs-websocket-api.h>
#include <obs.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

OBS_DECLARE_MODULE()

namespace {

log_handler_t host_log = nullptr;
void *host_log_param = nullptr;
std::atomic<int> torvane_outputs{0}, under_hotkey_lock{0};
int obs_stops = 0; // OBS's own stream

// Torvane creates its outputs in the command that starts them: counts them,
// and those created while another thread could not take libobs's hotkey lock.
void WatchLog(int level, const char *format, va_list args, void *)
{
	if (level == LOG_DEBUG && strcmp(format, "output '%s' (%s) created") == 0) {
		char text[256];
		va_list copy;
		va_copy(copy, args);
		vsnprintf(text, sizeof(text), format, copy);
		va_end(copy);
		if (strstr(text, "'Torvane destination ")) {
			auto taken = std::make_shared<std::promise<void>>();
			std::future<void> done = taken->get_future();
			std::thread([taken]() {
				obs_enum_hotkeys([](void *, obs_hotkey_id, obs_hotkey_t *) { return false; }, nullptr);
				taken->set_value();
			}).detach();
			under_hotkey_lock += done.wait_for(std::chrono::seconds(1)) != std::future_status::ready;
			torvane_outputs++;
		}
	}
	host_log(level, format, args, host_log_param);
}

int TorvaneSending()
{
	int sending = 0;
	obs_enum_outputs(
		[](void *count, obs_output_t *output) {
			*static_cast<int *>(count) +=
				strncmp(obs_output_get_name(output), "Torvane destination ", 20) == 0 &&
				obs_output_active(output);
			return true;
		},
		&sending);
	return sending;
}

// F9 on "Torvane: Start all" pressed or released as OBS delivers a key: on
// the UI thread, holding libobs's hotkey lock.
bool PressF9(bool pressed)
{
	obs_enum_hotkeys(
		[](void *down, obs_hotkey_id id, obs_hotkey_t *hotkey) {
			if (strcmp(obs_hotkey_get_name(hotkey), "torvane.start_all") != 0)
				return true;
			return obs_hotkey_trigger_routed_callback(id, down != nullptr), false;
		},
		pressed ? &pressed : nullptr);
	return true;
}

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

// Binds `key` to "Torvane: Start all"; without one, says the key it is bound to.
void StartAllKey(const char *key)
{
	obs_enum_hotkeys(
		[](void *data, obs_hotkey_id id, obs_hotkey_t *hotkey) {
			if (strcmp(obs_hotkey_get_name(hotkey), "torvane.start_all") != 0)
				return true;
			OBSDataArrayAutoRelease bindings = obs_hotkey_save(id);
			OBSDataAutoRelease first = data ? obs_data_create() : obs_data_array_item(bindings, 0);
			const char *bound = first ? obs_data_get_string(first, "key") : "";
			if (!data)
				return Say(std::string("start all key: ") + bound), false;
			obs_data_set_string(first, "key", static_cast<const char *>(data));
			return obs_data_array_push_back(bindings, first), obs_hotkey_load(id, bindings), false;
		},
		const_cast<char *>(key));
}

// Torvane's GetStatus through obs-websocket: the bitrate of each sending
// destination, or nothing when none sends.
std::string RemoteKbps()
{
	OBSDataAutoRelease call = obs_data_create();
	obs_data_set_string(call, "vendorName", "torvane");
	obs_data_set_string(call, "requestType", "GetStatus");
	obs_websocket_request_response *response = obs_websocket_call_request("CallVendorRequest", call);
	OBSDataAutoRelease answer = obs_data_create_from_json(response ? response->response_data : "{}");
	obs_websocket_request_response_free(response);
	OBSDataAutoRelease status = obs_data_get_obj(answer, "responseData");
	OBSDataArrayAutoRelease list = obs_data_get_array(status, "destinations");
	std::string kbps;
	for (size_t i = 0; i < obs_data_array_count(list); i++) {
		OBSDataAutoRelease item = obs_data_array_item(list, i);
		if (strcmp(obs_data_get_string(item, "state"), "sending") == 0)
			kbps += " " + std::to_string(obs_data_get_int(item, "kbps"));
	}
	return kbps;
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

// Adds a destination with "+ Custom", types `texts` into its fields from the
// name on, and ticks it.
void AddDestination(const std::vector<std::string> &texts)
{
	Click(112);
	for (int i = 0; i < int(texts.size()); i++) {
		Field(102 + i)->setFocus();
		Field(102 + i)->selectAll();
		QTest::keyClicks(Field(102 + i), QString::fromStdString(texts[size_t(i)]));
	}
	Control(101)->setFocus();
	QTest::keyClick(Control(101), Qt::Key_Space);
}

// A second later: the message boxes shown, then "done".
void SayBoxesThenDone()
{
	QTimer::singleShot(1000, []() {
		for (QWidget *widget : QApplication::topLevelWidgets())
			if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
				Say("box shown: " + box->text().toStdString());
		Say("done");
	});
}

// Runs the steps 500 ms apart (at most 240 tries); a step returning false is
// tried again, so each switch of profile or collection completes first.
void Run(std::vector<std::function<bool()>> steps, size_t next = 0, int tries = 240)
{
	if (next < steps.size() && tries > 0)
		QTimer::singleShot(500, [=]() { Run(steps, next + steps[next](), tries - 1); });
}

// stream: adds a destination for TORVANE_HOST_PROBE_SERVER, ticks it, starts,
// waits for Sending, stops, waits for Ready and closes the panel.
// rows: starts "Custom 5" to "Custom 7" for the TORVANE_HOST_PROBE_SERVERS; stops Custom 6 from its menu,
// starts it from its action strip, stops it with Enter; ends TORVANE_HOST_PROBE_KILL's server so Custom 7
// reconnects, pictures that to TORVANE_HOST_PROBE_SHOT and stops all.
// automation: a destination for each of the TORVANE_HOST_PROBE_SERVERS; ticks "Go live"
// when the client asks, through files in TORVANE_HOST_PROBE_DIR, and holds the UI thread for 6 s when
// asked before that; binds F9 to "Start all" at the end.
// restart, the panel never opened: says the key bound to "Start all" (F9) and presses it; with
// Torvane sending, starts OBS's own stream, says the bitrates GetStatus reports and stops it, then
// releases F9. Presses it again, then OBS's stream fails to connect; says how many outputs Torvane
// made and how many still send.
// reconnect: adds and ticks a destination for each of TORVANE_HOST_PROBE_SERVERS,
// starts all, kills the servers of TORVANE_HOST_PROBE_KILL once every row
// sends, waits for two rows reconnecting, then closes the panel or, with
// TORVANE_HOST_PROBE_BOX, leaves a modal question open on it.
// Otherwise: compares the fifth destination with TORVANE_HOST_PROBE_FIELDS if
// set, switches profile and scene collection away and back, then leaves
// Remove's question open for the test to stop OBS under it.
void Start()
{
	const std::string script = getenv("TORVANE_HOST_PROBE") ? getenv("TORVANE_HOST_PROBE") : "";
	if (script == "rows") {
		auto reads = [](std::vector<const char *> parts) { // a step: the rows read all of `parts`
			return [parts]() {
				const std::string rows = Rows();
				return std::all_of(parts.begin(), parts.end(),
						   [&](const char *part) { return rows.find(part) != rows.npos; });
			};
		};
		auto list = []() {
			return qobject_cast<QAbstractScrollArea *>(Control(101));
		};
		const QStringList urls =
			QString::fromUtf8(getenv("TORVANE_HOST_PROBE_SERVERS")).split(QLatin1Char(' '));
		Run({[]() { return OpenPanel(), true; },
		     [urls]() {
			     for (const QString &url : urls) {
				     Click(112);
				     QTest::keyClicks(Field(103), url), QTest::keyClicks(Field(104), "key");
				     QTest::keyClick(Control(101), Qt::Key_Space);
			     }
			     return Click(110), true;
		     },
		     reads({"Custom 5: Sending (", "Custom 6: Sending (", "Custom 7: Sending ("}),
		     [list]() { // Custom 6's menu from the keyboard: its first enabled entry
			     QTest::keyClick(list(), Qt::Key_Up);
			     QTimer::singleShot(300, []() {
				     for (Qt::Key key : {Qt::Key_Down, Qt::Key_Return})
					     QTest::keyClick(QApplication::activePopupWidget(), key);
			     });
			     QContextMenuEvent menu(QContextMenuEvent::Keyboard, {}, {});
			     return QApplication::sendEvent(list()->viewport(), &menu), true;
		     },
		     reads({"Custom 5: Sending (", "Custom 6: Ready [Start]", "Custom 7: Sending ("}),
		     [list]() { // the action strip at the right end of Custom 6's row, the sixth
			     const int height = 62 * Control(0)->width() / 1000, x = list()->viewport()->width() - 8;
			     const int y = 5 * height + height / 2 - list()->verticalScrollBar()->value();
			     return QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, {x, y}), true;
		     },
		     []() { // sending, and bytes went out since the last refresh
			     return Rows().find("Custom 6: Sending (") != Rows().npos &&
				    Rows().find("Custom 6: Sending (0 kbps)") == Rows().npos;
		     },
		     [list]() { return QTest::keyClick(list(), Qt::Key_Return), true; },
		     reads({"Custom 6: Ready [Start]"}),
		     []() { return kill(atoi(getenv("TORVANE_HOST_PROBE_KILL")), SIGTERM) == 0; },
		     reads({"Custom 5: Sending (", "Custom 7: Reconnecting... (attempt "}),
		     []() { return Control(0)->grab().save(getenv("TORVANE_HOST_PROBE_SHOT")), Click(111), true; },
		     []() {
			     return !Control(111)->isEnabled() && (Say("done"), true);
		     }});
		return;
	}
	if (script == "reconnect") {
		auto count = [](const char *text) {
			size_t n = 0;
			for (size_t at = Rows().find(text); at != std::string::npos; at = Rows().find(text, at + 1))
				n++;
			return n;
		};
		std::vector<std::function<bool()>> steps = {[]() {
			return OpenPanel(), true;
		}};
		std::istringstream servers(getenv("TORVANE_HOST_PROBE_SERVERS"));
		int added = 0;
		for (std::string server; servers >> server;) {
			steps.push_back([server, name = "Local " + std::to_string(++added)]() {
				return AddDestination({name, server, "k"}), true;
			});
		}
		steps.push_back([]() { return Click(110), true; });
		steps.push_back([count]() { return count(": Sending") == 4; });
		// libobs keeps one allocation of an output whose server dies right
		// after it connected: the servers die once every stream is under way.
		steps.push_back([ticks = std::make_shared<int>(0)]() { return ++*ticks > 4; });
		steps.push_back([]() {
			std::istringstream pids(getenv("TORVANE_HOST_PROBE_KILL"));
			for (int pid; pids >> pid;)
				kill(pid, SIGKILL);
			return Say("rows: " + Rows()), true;
		});
		steps.push_back([count]() { return count(": Reconnecting...") == 2; });
		steps.push_back([]() {
			Say("rows: " + Rows());
			if (std::string(getenv("TORVANE_HOST_PROBE_BOX")).empty()) {
				Control(0)->close();
				return Say("done"), true;
			}
			// Editing waits while streams run, so no question of the panel's
			// own can be open now: a modal box on the panel stands in for one.
			SayBoxesThenDone();
			auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Torvane"),
						    QStringLiteral("Keep streaming?"),
						    QMessageBox::Yes | QMessageBox::No, Control(0));
			box->setWindowModality(Qt::ApplicationModal);
			return box->show(), true;
		});
		Run(steps);
		return;
	}
	if (script == "stream") {
		const std::string server = getenv("TORVANE_HOST_PROBE_SERVER");
		Run({[]() { return OpenPanel(), true; },
		     [server]() {
			     AddDestination({"Local nginx", server, "probe-key-123", "probe-user", "probe-pass-456"});
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
	if (script == "automation") {
		const QStringList urls =
			QString::fromUtf8(getenv("TORVANE_HOST_PROBE_SERVERS")).split(QLatin1Char(' '));
		auto meet = [](const char *name) {
			return std::string(getenv("TORVANE_HOST_PROBE_DIR")) + "/" + name;
		};
		Run({[]() { return OpenPanel(), true; },
		     [urls, meet]() {
			     for (int i = 0; i < urls.size(); i++) {
				     Click(112);
				     QTest::keyClicks(Field(103), urls[i]);
				     QTest::keyClicks(Field(104), "auto-key-" + QString::number(i + 1));
				     QTest::keyClick(Control(101), Qt::Key_Space);
			     }
			     QTest::keyClicks(Field(105), "auto-user"), QTest::keyClicks(Field(106), "auto-pass");
			     return Control(0)->close(), std::ofstream(meet("ready")).good();
		     },
		     [meet]() {
			     if (!std::filesystem::exists(meet("block")))
				     return false;
			     std::ofstream blocking(meet("blocking"));
			     blocking.close();
			     std::this_thread::sleep_for(std::chrono::seconds(6));
			     return std::ofstream(meet("unblocked")).good();
		     },
		     [meet]() {
			     if (!std::filesystem::exists(meet("tick")))
				     return false;
			     OpenPanel(), Click(120), Control(0)->close();
			     return std::ofstream(meet("ticked")).good();
		     },
		     [meet]() {
			     if (!std::filesystem::exists(meet("finished")))
				     return false;
			     return StartAllKey("OBS_KEY_F9"), Say("done"), true;
		     }},
		    0, 600);
		return;
	}
	if (script == "restart") {
		auto ticks = std::make_shared<int>(0), released = std::make_shared<int>(0);
		auto sampled = std::make_shared<int>(0);
		Run({[]() { return StartAllKey(nullptr), PressF9(true); },
		     []() { return TorvaneSending() == 2 && (obs_frontend_streaming_start(), true); },
		     [sampled]() { // bytes went out for a few seconds
			     if (!obs_frontend_streaming_active())
				     return false;
			     const std::string kbps = ++*sampled > 10 ? RemoteKbps() : "";
			     if (*sampled < 40 && (kbps.empty() || kbps.find(" 0") != kbps.npos))
				     return false;
			     return Say("remote kbps:" + kbps), true;
		     },
		     []() { return obs_frontend_streaming_stop(), true; },
		     []() { return !obs_frontend_streaming_active() && TorvaneSending() == 0; },
		     [ticks]() { return ++*ticks > 12 && PressF9(false); }, // once Torvane is idle
		     [ticks, released]() {
			     return ++*ticks > 18 && (*released = TorvaneSending(), PressF9(true), PressF9(false));
		     },
		     []() {
			     if (TorvaneSending() != 2)
				     return false;
			     OBSDataAutoRelease dead = obs_data_create();
			     obs_data_set_string(dead, "server", "rtmp://127.0.0.1:9/app");
			     obs_service_update(obs_frontend_get_streaming_service(), dead);
			     return obs_frontend_streaming_start(), true;
		     },
		     [ticks, released]() { // with the connection failure's message box closed
			     for (QWidget *widget : QApplication::topLevelWidgets())
				     if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
					     box->accept();
			     if (obs_stops < 2 || ++*ticks < 23)
				     return false;
			     Say("Torvane's outputs: " + std::to_string(torvane_outputs) + " made, " +
				 std::to_string(under_hotkey_lock) + " under the hotkey lock, " +
				 std::to_string(*released) + " sending after F9's release, " +
				 std::to_string(TorvaneSending()) + " after OBS's stream failed");
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
		     return SayBoxesThenDone(), Click(113), true;
	     }});
}

void OnEvent(obs_frontend_event event, void *)
{
	if (event == OBS_FRONTEND_EVENT_FINISHED_LOADING)
		QTimer::singleShot(500, Start);
	obs_stops += event == OBS_FRONTEND_EVENT_STREAMING_STOPPED;
}

} // namespace

bool obs_module_load(void)
{
	base_get_log_handler(&host_log, &host_log_param);
	base_set_log_handler(WatchLog, nullptr);
	obs_frontend_add_event_callback(OnEvent, nullptr);
	return true;
}

void obs_module_unload(void)
{
	obs_frontend_remove_event_callback(OnEvent, nullptr);
	base_set_log_handler(host_log, host_log_param);
	Say("unloaded");
}
