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
#include <obs.hpp>
#include <util/config-file.h>

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

OBS_DECLARE_MODULE()

namespace {

log_handler_t host_log = nullptr;
void *host_log_param = nullptr;
std::atomic<int> torvane_outputs{0}, under_hotkey_lock{0};
int obs_stops = 0;  // OBS's own stream
OBSSignal own_stop; // of OBS's stream output, while it streams

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

// Torvane's outputs for which `is` holds.
using OutputTest = bool (*)(const obs_output_t *);
int TorvaneOutputs(OutputTest is)
{
	std::pair<int, OutputTest> count{0, is};
	obs_enum_outputs(
		[](void *data, obs_output_t *output) {
			auto &[n, test] = *static_cast<std::pair<int, OutputTest> *>(data);
			n += strncmp(obs_output_get_name(output), "Torvane destination ", 20) == 0 && test(output);
			return true;
		},
		&count);
	return count.first;
}

int TorvaneSending()
{
	return TorvaneOutputs(obs_output_active);
}

bool LiveOrHolding(const obs_output_t *output)
{
	return obs_output_active(output) || obs_output_get_video_encoder(output);
}

bool CountVideo(void *n, obs_encoder_t *e)
{
	return *static_cast<int *>(n) += obs_encoder_get_type(e) == OBS_ENCODER_VIDEO && obs_encoder_active(e), true;
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

void SayHeld(const char *when, int stop)
{
	Say(when + std::to_string(stop) + ": " + std::to_string(TorvaneOutputs(LiveOrHolding)) +
	    " live or holding an encoder");
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

// Ticks or unticks "Own quality" of the last two rows, each then running `then`; closing saves.
void EachAutoRow(const std::function<void()> &then)
{
	OpenPanel();
	for (Qt::Key key : {Qt::Key_End, Qt::Key_Up}) {
		QTest::keyClick(Control(101), key);
		Click(121);
		then();
	}
	Control(0)->close();
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
// automation: a destination for each of the TORVANE_HOST_PROBE_SERVERS, ticked, and "Go live" ticked; says
// "ready" to the client through a file in TORVANE_HOST_PROBE_DIR; when the client says "same", sets both to
// "Same as OBS's stream" and counts OBS's encoders while all stream; binds F9 to "Start all" once it finished.
// restart, the panel never opened: says the key bound to "Start all" (F9), releases and presses it; with
// Torvane sending, OBS's own stream fails to connect; says how many outputs Torvane made and how many
// sent when, then ends TORVANE_HOST_PROBE_KILL's server and waits for its destination to reconnect.
// Otherwise: compares the fifth destination with TORVANE_HOST_PROBE_FIELDS if
// set, switches profile and scene collection away and back, then leaves
// Remove's question open for the test to stop OBS under it.
void Start()
{
	const std::string script = getenv("TORVANE_HOST_PROBE") ? getenv("TORVANE_HOST_PROBE") : "";
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
		const std::string meet = getenv("TORVANE_HOST_PROBE_DIR");
		Run({[]() { return OpenPanel(), true; },
		     [urls, meet]() {
			     for (int i = 0; i < urls.size(); i++)
				     AddDestination({"Auto " + std::to_string(i + 1), urls[i].toStdString(),
						     "auto-key-" + std::to_string(i + 1), "auto-user", "auto-pass"});
			     Click(120); // Go live with OBS's Start Streaming
			     return Control(0)->close(), std::ofstream(meet + "/ready").good();
		     },
		     // Both become "Same as OBS's stream", and OBS's stream ends at its first failure.
		     [meet]() { return std::filesystem::exists(meet + "/same"); },
		     [meet]() {
			     config_set_bool(obs_frontend_get_profile_config(), "Output", "Reconnect", false);
			     EachAutoRow([]() {
				     QTimer::singleShot(300, []() {
					     auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
					     QTest::keyClick(menu, Qt::Key_Up); // the last entry
					     QTest::keyClick(menu, Qt::Key_Return);
				     });
				     Click(127);
			     });
			     return std::ofstream(meet + "/same-set").good();
		     },
		     []() {
			     int encoders = 0;
			     return obs_frontend_streaming_active() && TorvaneSending() == 2 &&
				    (obs_enum_encoders(CountVideo, &encoders),
				     Say("video encoders while OBS and Torvane stream: " + std::to_string(encoders)),
				     true);
		     },
		     [meet]() { return std::filesystem::exists(meet + "/finished"); },
		     []() { // the shared quality again for the restart
			     EachAutoRow([]() {});
			     return StartAllKey("OBS_KEY_F9"), Say("done"), true;
		     }},
		    0, 600);
		return;
	}
	if (script == "restart") {
		auto ticks = std::make_shared<int>(0), released = std::make_shared<int>(0);
		Run({[]() { return StartAllKey(nullptr), PressF9(false); }, // with Torvane idle
		     [ticks, released]() { return ++*ticks > 6 && (*released = TorvaneSending(), PressF9(true)); },
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
			     if (obs_stops < 1 || ++*ticks < 12)
				     return false;
			     Say("Torvane's outputs: " + std::to_string(torvane_outputs) + " made, " +
				 std::to_string(under_hotkey_lock) + " under the hotkey lock, " +
				 std::to_string(*released) + " sending after F9's release, " +
				 std::to_string(TorvaneSending()) + " after OBS's stream failed");
			     return kill(atoi(getenv("TORVANE_HOST_PROBE_KILL")), SIGKILL), true;
		     },
		     // OBS then exits while a destination reconnects.
		     []() {
			     return TorvaneOutputs(obs_output_reconnecting) == 1 && (Say("done"), true);
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
	// What of Torvane still sends or holds an encoder when OBS's output stops, and once OBS said so.
	if (event == OBS_FRONTEND_EVENT_STREAMING_STARTED) {
		OBSOutputAutoRelease output = obs_frontend_get_streaming_output();
		own_stop.Connect(
			obs_output_get_signal_handler(output), "stop",
			[](void *, calldata_t *) { SayHeld("at OBS's output stop ", obs_stops + 1); }, nullptr);
	}
	if (event != OBS_FRONTEND_EVENT_STREAMING_STOPPED)
		return;
	own_stop.Disconnect();
	QTimer::singleShot(0, [stop = ++obs_stops]() { SayHeld("after OBS's stream stop ", stop); });
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
	own_stop.Disconnect();
	base_set_log_handler(host_log, host_log_param);
	Say("unloaded");
}
