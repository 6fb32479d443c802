// What the Qt renderer adds to the panel, under Xvfb: child placement, input
// routing, message boxes and pixels. Screenshots stay in the build folder.
#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest/QtTest>

#include "panel/qt/panel_window.h"
#include "panel/qt/render.h"
#include "panel/theme.h"
#include "settings/utf8.h"
#include "tests/support/destinations.h"

#include <filesystem>
#include <memory>
#include <utility>

using namespace torvane;

namespace {

void AnswerNextBox(QMessageBox::StandardButton button)
{
	QTimer::singleShot(50, [button]() {
		for (QWidget *widget : QApplication::topLevelWidgets())
			if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
				return box->button(button)->click();
		AnswerNextBox(button);
	});
}

} // namespace

class QtPanelTest : public QObject {
	Q_OBJECT

	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	Controller controller{store, engine, nullptr, nullptr};
	std::unique_ptr<PanelWindow> window;

	QWidget *Focused() const { return QApplication::focusWidget(); }
	void Click(QWidget *widget, QPoint at = {})
	{
		QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
	}
	QImage Screenshot(const char *name)
	{
		QApplication::processEvents();
		const QImage image = window->grab().toImage();
		image.save(QString::fromUtf8(name));
		return image;
	}

private slots:
	void init()
	{
		const auto file = std::filesystem::temp_directory_path() / "torvane-qt-panel.dpapi";
		std::filesystem::remove(file);
		state = PanelState();
		store = SettingsStore();
		store.settings_path = Utf8ToWide(file.string());
		store.settings = DefaultSettings();
		store.load_attempted = true;
		window = std::make_unique<PanelWindow>(nullptr, 96, state, controller);
		window->show();
		window->activateWindow();
		QVERIFY(QTest::qWaitForWindowActive(window.get()));
	}

	void cleanup()
	{
		window.reset();
		engine.runs.clear();
	}

	void windowFollowsTheLayoutAndTabItsOrder()
	{
		QList<QWidget *> order;
		for (const ControlSpec &spec : panel_controls) {
			if (spec.kind == ControlKind::Label)
				continue;
			const Rect r = ControlRect(spec, 96);
			QCOMPARE(window->Control(spec.id)->geometry(), QRect(r.left, r.top, r.Width(), r.Height()));
			if (window->Control(spec.id)
				    ->isEnabled()) // Stop all, and an own quality's controls without one
				order << window->Control(spec.id);
		}
		window->List()->setFocus();
		for (QWidget *expected : order + QList<QWidget *>{order[0]}) {
			QCOMPARE(Focused(), expected);
			QTest::keyClick(Focused(), Qt::Key_Tab);
		}
		QTest::keyClick(Focused(), Qt::Key_Tab, Qt::ShiftModifier);
		QTest::keyClick(Focused(), Qt::Key_Tab, Qt::ShiftModifier);
		QCOMPARE(Focused(), order.last()); // wraps backwards too
	}

	void typingClicksAndKeysReachTheModel()
	{
		window->Field(id_key)->setFocus();
		QTest::keyClicks(Focused(), "typed-key-123");
		window->Field(id_bitrate)->selectAll();
		QTest::keyClicks(window->Field(id_bitrate), "6000");
		QCOMPARE(store.settings.bitrate, 6000); // every edit reaches the settings as it is typed
		QCOMPARE(store.settings.destinations[0].key, std::string("typed-key-123"));

		DestinationList *list = window->List();
		Click(list->viewport(), {10, list->RowRect(1).center().y()}); // the tick strip
		QVERIFY(store.settings.destinations[1].enabled);
		Click(list->viewport(), {150, list->RowRect(2).center().y()});
		QCOMPARE(state.selected_index, 2);
		QVERIFY(!store.settings.destinations[2].enabled);
		QCOMPARE(window->Field(id_name)->text(), QStringLiteral("Kick"));
		QTest::keyClick(list, Qt::Key_Space);
		QVERIFY(store.settings.destinations[2].enabled);
		for (const auto &[key, row] : {std::pair(Qt::Key_End, 3), {Qt::Key_PageUp, 0}}) {
			QTest::keyClick(list, key);
			QCOMPARE(state.selected_index, row);
		}
		QWidget *save = window->Control(id_save);
		QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), save->mapToGlobal(QPointF(5, 5)));
		QApplication::sendEvent(save, &enter);
		QCOMPARE(state.hovered_button, int32_t(id_save));
		QEvent leave(QEvent::Leave);
		QApplication::sendEvent(save, &leave);
		QCOMPARE(state.hovered_button, 0);
	}

	// Limits stop typing only: a longer value from the file is kept whole.
	void loadedValuesLongerThanTheLimitAreKeptWhole()
	{
		store.settings.destinations[1].name = std::string(150, 'n');
		store.settings.destinations[1].key = std::string(5000, 'k');
		OnRowSelected(window->Behaviour(), 1);
		OnRowSelected(window->Behaviour(), 0); // commits row 1
		QCOMPARE(store.settings.destinations[1].name.size(), size_t(150));
		QCOMPARE(store.settings.destinations[1].key.size(), size_t(5000));
		QLineEdit *name = window->Field(id_name);
		name->setFocus();
		name->clear();
		QTest::keyClicks(name, QString(101, QLatin1Char('a')));
		QCOMPARE(name->text().size(), 100); // no typing past the limit
	}

	// Kick completion and the frame's accent follow the focus really leaving.
	void serverFieldLeftOnlyWhenFocusGoes()
	{
		const QString dashboard = QStringLiteral("rtmps://fa723fc1b171.global-contribute.live-video.net");
		store.settings.destinations[2].server = dashboard.toStdString();
		OnRowSelected(window->Behaviour(), 2);
		QLineEdit *server = window->Field(id_server);
		server->setFocus();
		QTRY_VERIFY(server->hasFocus());
		QCOMPARE(server->text(), dashboard); // entering completes nothing
		QCOMPARE(Screenshot("qt-panel-server-focused.png").pixelColor(358, 255), ToQColor(color_accent));
		QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, server->mapToGlobal(QPoint(5, 5)));
		QApplication::sendEvent(server, &menu);
		QTRY_VERIFY(QApplication::activePopupWidget());
		QApplication::activePopupWidget()->close();
		QTRY_VERIFY(server->hasFocus());
		QCOMPARE(server->text(), dashboard); // nor does a context menu
		window->Field(id_name)->setFocus();
		QTRY_COMPARE(server->text(), dashboard + QStringLiteral(":443/app"));
		QCOMPARE(Screenshot("qt-panel-name-focused.png").pixelColor(358, 255), ToQColor(color_border));
	}

	// Boxes disable the panel only (OBS's main window stays usable), and the
	// panel can go while one waits for an answer.
	void boxesBlockOnlyThePanelWhichCanGoUnderThem()
	{
		AnswerNextBox(QMessageBox::Yes);
		Click(window->Control(id_remove));
		QCOMPARE(store.settings.destinations.size(), size_t(3));

		QPointer<PanelWindow> panel = window.release();
		bool checked = false;
		QTimer::singleShot(200, [&]() {
			checked = panel->BoxOpen() && !panel->isEnabled() && !QApplication::activeModalWidget();
			DestroyPanelWindow(panel.data());
		});
		Click(panel->Control(id_remove));
		QVERIFY(checked);
		QCOMPARE(store.settings.destinations.size(), size_t(3)); // unanswered: nothing removed
		QTRY_VERIFY(panel.isNull());
	}

	// The screen readers' text follows a row that changed; a new selection (names may have been edited) reads them all.
	void descriptionFollowsTheRows()
	{
		auto line = [&](int row) {
			QApplication::processEvents();
			return window->List()->accessibleDescription().split(QLatin1Char('\n')).value(row);
		};
		store.settings.destinations[0].name = "First";
		store.settings.destinations[1].name = "Second";
		window->List()->UpdateRow(0);
		QCOMPARE(line(0), QStringLiteral("First: Not included"));
		OnRowSelected(window->Behaviour(), 2);
		QCOMPARE(line(1), QStringLiteral("Second: Not included"));
	}

	void pixelsShowTheThemeWhereTheLayoutPutsIt()
	{
		store.settings.destinations[1].enabled = true;
		OnTimer(window->Behaviour());
		window->Field(id_key)->setText(QStringLiteral("abc"));
		QCOMPARE(window->Field(id_key)->displayText(), QString(3, QChar(0x2022)));
		const QImage image = Screenshot("qt-panel.png");
		const std::tuple<int, int, Color> pixels[] = {
			{5, 5, color_window},        {300, 130, color_card},      {785, 45, color_highlight},
			{30, 692, color_accent},     {362, 201, color_field},     {250, 190, color_highlight},
			{51, 269, color_accent},                                  // ticked box
			{222, 590, color_card},      {292, 590, color_highlight}, // 720p, 1080p
			{382, 590, color_highlight}, {456, 590, color_card},      // 30 fps, 60 fps
		};
		for (const auto &[x, y, colour] : pixels)
			QVERIFY2(image.pixelColor(x, y) == ToQColor(colour),
				 qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));

		auto text_pixels = [&](Color colour) {
			const QImage field = window->grab(window->Control(id_name)->geometry()).toImage();
			int count = 0;
			for (int y = 0; y < field.height(); y++)
				for (int x = 0; x < field.width(); x++)
					count += field.pixelColor(x, y) == ToQColor(colour);
			return count;
		};
		test::AddRun(engine, 0, DestinationState::Sending); // disabled fields are dimmed
		UpdateControlStates(window->Behaviour());
		QCOMPARE(text_pixels(color_text), 0);
		QVERIFY(text_pixels(color_disabled_text) > 0);
		engine.runs.clear();
		UpdateControlStates(window->Behaviour());
		QVERIFY(text_pixels(color_text) > 0);
	}
};

QTEST_MAIN(QtPanelTest)
#include "qt_panel_test.moc"
