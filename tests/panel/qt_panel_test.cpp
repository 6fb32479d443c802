// The Qt panel as a person uses it, under Xvfb: typing, clicks, Tab order, the
// tick strip and Space, hover and focus, and a screenshot whose pixels are
// checked against the panel's colours. Screenshots are kept in the working
// folder (the build folder under ctest).
#include <QApplication>
#include <QContextMenuEvent>
#include <QPointer>
#include <QEnterEvent>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QtTest>

#include "panel/qt/panel_window.h"
#include "panel/theme.h"
#include "settings/store.h"
#include "settings/text.h"

#include <filesystem>
#include <memory>

using namespace torvane;

namespace {

QColor Colour(uint32_t colorref)
{
	return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

// Answers the next modal message box with `button` once it is shown.
void AnswerNextBox(QMessageBox::StandardButton button)
{
	QTimer::singleShot(0, [button]() {
		for (QWidget *widget : QApplication::topLevelWidgets())
			if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
				box->button(button)->click();
				return;
			}
		AnswerNextBox(button);
	});
}

} // namespace

class QtPanelTest : public QObject {
	Q_OBJECT

	std::filesystem::path folder;
	PanelState state;
	SettingsStore store;
	MultistreamEngine engine;
	std::unique_ptr<PanelWindow> window;

	int32_t FocusedId() const
	{
		QWidget *focus = QApplication::focusWidget();
		for (const ControlSpec &spec : panel_controls)
			if (spec.kind != ControlKind::Label && window->Control(spec.id) == focus)
				return spec.id;
		return -1;
	}

	QPoint Centre(int32_t id) const { return window->Control(id)->rect().center(); }

	void Click(int32_t id) { QTest::mouseClick(window->Control(id), Qt::LeftButton, {}, Centre(id)); }

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
		folder = std::filesystem::temp_directory_path() / "torvane-qt-panel";
		std::filesystem::remove_all(folder);
		std::filesystem::create_directories(folder);
		state = PanelState();
		store = SettingsStore();
		store.settings_path = Utf8ToWide((folder / "settings.dpapi").string());
		store.settings = DefaultSettings();
		store.load_attempted = true;
		window = std::make_unique<PanelWindow>(nullptr, 96, state, store, engine, nullptr);
		window->show();
		QVERIFY(QTest::qWaitForWindowExposed(window.get()));
		window->activateWindow();
		QVERIFY(QTest::qWaitForWindowActive(window.get()));
	}

	void cleanup()
	{
		window.reset();
		engine.runs.clear();
		std::filesystem::remove_all(folder);
	}

	void windowHasTheFixedSizeAndTitle()
	{
		QCOMPARE(window->size(), QSize(1000, 748));
		QCOMPARE(window->windowTitle(), QString::fromUtf8("Torvane \xE2\x80\x94 Multistream for OBS"));
		QCOMPARE(window->Control(id_name)->geometry(), QRect(369, 191, 578, 21));
		QCOMPARE(window->Control(id_start)->geometry(), QRect(20, 671, 194, 43));
		QCOMPARE(window->Field(id_key)->echoMode(), QLineEdit::Password);
	}

	void typingAndSavingReachesTheFile()
	{
		QLineEdit *key = window->Field(id_key);
		key->setFocus();
		QTest::keyClicks(key, "typed-key-123");
		QLineEdit *bitrate = window->Field(id_bitrate);
		bitrate->selectAll();
		QTest::keyClicks(bitrate, "6000");
		QCOMPARE(store.settings.bitrate, 6000); // every bitrate edit is committed at once
		Click(id_save);
		QCOMPARE(store.settings.destinations[0].key, std::string("typed-key-123"));
		PanelSettings loaded;
		std::string message;
		QVERIFY(LoadSettingsFile(store.settings_path, loaded, message));
		QCOMPARE(loaded.destinations[0].key, std::string("typed-key-123"));
		QCOMPARE(loaded.bitrate, 6000);
	}

	void customAndRemoveThroughClicksAndTheQuestion()
	{
		Click(id_custom);
		QCOMPARE(store.settings.destinations.size(), size_t(5));
		QCOMPARE(FocusedId(), int32_t(id_name));
		QCOMPARE(window->Field(id_name)->text(), QStringLiteral("Custom 5"));

		AnswerNextBox(QMessageBox::No);
		Click(id_remove);
		QCOMPARE(store.settings.destinations.size(), size_t(5));
		AnswerNextBox(QMessageBox::Yes);
		Click(id_remove);
		QCOMPARE(store.settings.destinations.size(), size_t(4));
		QCOMPARE(state.selected_index, 3);
		QVERIFY(std::filesystem::exists(folder / "settings.dpapi"));
	}

	void tabFollowsTheTableOrderSkippingDisabledControlsAndWraps()
	{
		window->List()->setFocus();
		QList<int32_t> order;
		for (int i = 0; i < 19; i++) {
			order << FocusedId();
			QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
		}
		// "Stop all" is disabled while idle.
		const QList<int32_t> expected = {101, 112, 113, 114, 102, 103, 104, 108, 105, 106,
						 115, 116, 117, 118, 107, 110, 109, 119, 101};
		QCOMPARE(order, expected);
		// The last Tab went on to "+ Custom"; Shift+Tab comes back to the list and
		// from the first control wraps to the last.
		QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
		QCOMPARE(FocusedId(), int32_t(id_list));
		QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
		QCOMPARE(FocusedId(), int32_t(id_coffee));
		window->Field(id_name)->setFocus();
		QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
		QCOMPARE(FocusedId(), int32_t(id_guide));
		QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
		QCOMPARE(FocusedId(), int32_t(id_remove));
	}

	void tickStripTogglesAndTheRestOfTheRowSelects()
	{
		DestinationList *list = window->List();
		const QRect row1 = list->RowRect(1);
		QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, row1.center().y()));
		QVERIFY(store.settings.destinations[1].enabled);
		QCOMPARE(state.selected_index, 1);

		const QRect row2 = list->RowRect(2);
		QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(150, row2.center().y()));
		QCOMPARE(state.selected_index, 2);
		QVERIFY(!store.settings.destinations[2].enabled);
		QCOMPARE(window->Field(id_name)->text(), QStringLiteral("Kick"));

		QTest::keyClick(list, Qt::Key_Space);
		QVERIFY(store.settings.destinations[2].enabled);

		// While streaming the ticks are locked and a strip click does nothing.
		auto run = std::make_unique<DestinationRun>();
		run->destination_index = 1;
		run->state = DestinationState::Sending;
		engine.runs.push_back(std::move(run));
		QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->RowRect(0).center().y()));
		QVERIFY(!store.settings.destinations[0].enabled);
		QCOMPARE(state.selected_index, 2);
		QTest::keyClick(list, Qt::Key_Space);
		QVERIFY(store.settings.destinations[2].enabled);
	}

	void hoverAndFocusAreTracked()
	{
		QWidget *save = window->Control(id_save);
		QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), save->mapToGlobal(QPointF(5, 5)));
		QApplication::sendEvent(save, &enter);
		QCOMPARE(state.hovered_button, int32_t(id_save));
		QEvent leave(QEvent::Leave);
		QApplication::sendEvent(save, &leave);
		QCOMPARE(state.hovered_button, 0);

		window->Field(id_key)->setFocus();
		QTRY_VERIFY(window->Field(id_key)->hasFocus());
		const QImage image = Screenshot("qt-panel-key-focused.png");
		QCOMPARE(image.pixelColor(358, 329), Colour(color_accent));
		QCOMPARE(image.pixelColor(358, 201), Colour(color_border));
	}

	// Field limits stop typing only: a loaded value longer than the limit is
	// shown and committed whole.
	void loadedValuesLongerThanTheLimitAreKeptWhole()
	{
		const std::string long_name(150, 'n');
		const std::string long_key(5000, 'k');
		store.settings.destinations[1].name = long_name;
		store.settings.destinations[1].key = long_key;
		OnRowSelected(window->Behaviour(), 1);
		QCOMPARE(window->Field(id_name)->text().size(), 150);
		OnRowSelected(window->Behaviour(), 0); // commits row 1
		QCOMPARE(store.settings.destinations[1].name, long_name);
		QCOMPARE(store.settings.destinations[1].key, long_key);

		OnRowSelected(window->Behaviour(), 1);
		QLineEdit *name = window->Field(id_name);
		name->setFocus();
		name->end(false);
		QTest::keyClick(name, Qt::Key_X);
		QCOMPARE(name->text().size(), 150); // no typing past the limit
		QTest::keyClick(name, Qt::Key_Backspace);
		QCOMPARE(name->text().size(), 149);
		name->clear();
		QTest::keyClicks(name, QString(101, QLatin1Char('a')));
		QCOMPARE(name->text().size(), 100);
	}

	// Remove's question disables the panel only (OBS's main window stays
	// usable), and the panel can be destroyed while it waits for an answer.
	void panelDestroyedUnderItsOwnQuestion()
	{
		QPointer<PanelWindow> panel = window.release();
		bool checked = false;
		QTimer::singleShot(200, [&]() {
			QVERIFY(panel->BoxOpen());
			QCOMPARE(QApplication::activeModalWidget(), nullptr);
			QVERIFY(!panel->isEnabled());
			QVERIFY(panel->Behaviour().ui.IsEnabled(id_remove)); // painted as it was
			checked = true;
			DestroyPanelWindow(panel.data());
		});
		QTest::mouseClick(panel->Control(id_remove), Qt::LeftButton, {},
				  panel->Control(id_remove)->rect().center());
		QVERIFY(checked);
		QCOMPARE(store.settings.destinations.size(), size_t(4)); // an unanswered question removes nothing
		QTRY_VERIFY(panel.isNull());
	}

	// What the Qt renderer adds: dimmed disabled fields, Windows' list keys,
	// the server field left only when focus really goes, bullet masks.
	void qtInputAndLookMatchTheWindowsPanel()
	{
		QLineEdit *key = window->Field(id_key);
		key->setText(QStringLiteral("abc"));
		QCOMPARE(key->displayText(), QString(3, QChar(0x2022)));

		auto text_pixels = [&](uint32_t colour) {
			const QImage image = window->grab(window->Control(id_name)->geometry()).toImage();
			int count = 0;
			for (int y = 0; y < image.height(); y++)
				for (int x = 0; x < image.width(); x++)
					count += image.pixelColor(x, y) == Colour(colour);
			return count;
		};
		QVERIFY(text_pixels(color_text) > 0);
		auto run = std::make_unique<DestinationRun>();
		run->state = DestinationState::Sending;
		engine.runs.push_back(std::move(run));
		UpdateControlStates(window->Behaviour());
		QCOMPARE(text_pixels(color_text), 0);
		QVERIFY(text_pixels(color_disabled_text) > 0);
		engine.runs.clear();
		UpdateControlStates(window->Behaviour());

		DestinationList *list = window->List();
		list->setFocus();
		const QList<QPair<int, int32_t>> keys = {{Qt::Key_End, 3},
							 {Qt::Key_Home, 0},
							 {Qt::Key_PageDown, 3},
							 {Qt::Key_PageUp, 0}};
		for (const auto &[pressed, row] : keys) {
			QTest::keyClick(list, Qt::Key(pressed));
			QCOMPARE(state.selected_index, row);
		}

		const QString dashboard = QStringLiteral("rtmps://fa723fc1b171.global-contribute.live-video.net");
		OnRowSelected(window->Behaviour(), 2);
		QLineEdit *server = window->Field(id_server);
		server->setFocus();
		QTRY_VERIFY(server->hasFocus());
		server->setText(dashboard);
		QContextMenuEvent menu_event(QContextMenuEvent::Keyboard, server->rect().center(),
					     server->mapToGlobal(server->rect().center()));
		QApplication::sendEvent(server, &menu_event);
		QTRY_VERIFY(QApplication::activePopupWidget());
		QCOMPARE(server->text(), dashboard);
		QApplication::activePopupWidget()->close();
		QTRY_VERIFY(!QApplication::activePopupWidget());
		QCOMPARE(server->text(), dashboard); // gaining focus back completes nothing either
		window->Field(id_name)->setFocus();
		QTRY_COMPARE(server->text(), dashboard + QStringLiteral(":443/app"));
	}

	void screenshotShowsThePanelsColoursWhereTheLayoutPutsThem()
	{
		store.settings.destinations[1].enabled = true;
		OnTimer(window->Behaviour()); // the one-second refresh notices the changed row
		window->update();
		window->List()->viewport()->update();
		const QImage image = Screenshot("qt-panel.png");
		QCOMPARE(image.size(), QSize(1000, 748));
		QCOMPARE(window->List()->accessibleDescription(),
			 QStringLiteral("YouTube: Not included\nTwitch: Ready\nKick: Not included\nPatreon: Not included"));
		QCOMPARE(image.pixelColor(5, 5), Colour(color_window));             // background
		QCOMPARE(image.pixelColor(300, 130), Colour(color_card));           // Destinations card
		QCOMPARE(image.pixelColor(960, 300), Colour(color_card));           // Connection card
		QCOMPARE(image.pixelColor(785, 45), Colour(color_highlight));       // header pill
		QCOMPARE(image.pixelColor(30, 692), Colour(color_accent));          // "Start all"
		QCOMPARE(image.pixelColor(362, 201), Colour(color_field));          // name field frame
		QCOMPARE(image.pixelColor(250, 190), Colour(color_highlight));      // selected row
		QCOMPARE(image.pixelColor(32 + 1 + 9 + 9, 184 + 62 + 3 + 18 + 2), Colour(color_accent)); // ticked box
		QCOMPARE(image.pixelColor(225 + 5, 580 + 18), Colour(color_card));  // "720p" chip, not selected
		QCOMPARE(image.pixelColor(320 + 3, 578 + 18), Colour(color_highlight)); // "1080p" chip, selected
	}
};

QTEST_MAIN(QtPanelTest)
#include "qt_panel_test.moc"
