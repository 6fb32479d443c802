// The Qt panel window: it paints the panel, turns closing into hiding, reports
// the fields' focus, and runs the boxes that ask and tell.
#include "panel/qt/panel_window.h"

#include "panel/qt/render.h"
#include "settings/texts.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace torvane {

PanelWindow::PanelWindow(QWidget *owner, uint32_t dpi, PanelState &shared_state, Controller &controller)
	: QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
				 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
	  state(shared_state),
	  ui(*this),
	  panel{ui, shared_state, controller}
{
	state.dpi = dpi;
	setWindowTitle(QString::fromUtf8(Tr(Txt::PanelTitle)));
	setFixedSize(Scale(panel_width, dpi), Scale(panel_height, dpi));
	setAttribute(Qt::WA_OpaquePaintEvent);
	setFont(PanelFont(FontRole::Body, dpi));
	CreateControls();
	InitializeControls(panel);
	connect(&timer, &QTimer::timeout, this, [this]() { OnTimer(panel); });
	timer.start(1000);
}

PanelWindow::~PanelWindow()
{
	timer.stop();
	OnPanelDestroyed(state);
}

QWidget *PanelWindow::Control(int32_t id) const
{
	auto it = controls.find(id);
	return it == controls.end() ? nullptr : it->second;
}

QLineEdit *PanelWindow::Field(int32_t id) const
{
	return dynamic_cast<QLineEdit *>(Control(id));
}

void PanelWindow::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	Render(painter, PaintPanel(panel), state.dpi);
}

void PanelWindow::closeEvent(QCloseEvent *event)
{
	// Closing only hides the panel; streams go on. While a box waits for an
	// answer the panel takes no input, closing included.
	event->ignore();
	if (!BoxOpen())
		OnCloseRequested(panel);
}

bool PanelWindow::eventFilter(QObject *watched, QEvent *event)
{
	if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
		for (const auto &[id, widget] : controls) {
			if (widget != watched)
				continue;
			OnFieldFocusChanged(panel, id);
			// A context menu opening over the field takes the focus only for
			// a while: the field has not been left.
			if (id == id_server && event->type() == QEvent::FocusOut &&
			    static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
				OnServerFocusLost(panel);
		}
	}
	return QWidget::eventFilter(watched, event);
}

void PanelWindow::RunDialog(QDialog *dialog, const std::function<void()> &answer)
{
	// The dialog has no parent widget: one parented to the panel would be
	// disabled with it, and a window-modal one would block OBS's main window
	// too, which owns the panel. It stays above the panel through its
	// transient parent.
	QPointer<QDialog> box = dialog;
	box->setWindowModality(Qt::NonModal);
	box->winId();
	if (box->windowHandle() && windowHandle())
		box->windowHandle()->setTransientParent(windowHandle());
	box->adjustSize();
	box->move(frameGeometry().center() - box->rect().center());

	if (boxes.empty()) {
		focus_before_box = focusWidget();
		setEnabled(false);
	}
	boxes.push_back(box);

	QEventLoop loop;
	connect(box.data(), &QDialog::finished, &loop, &QEventLoop::quit);
	box->show();
	loop.exec(QEventLoop::DialogExec);

	if (box) {
		if (!destroy_requested)
			answer();
		delete box.data();
	}
	boxes.erase(std::remove(boxes.begin(), boxes.end(), box), boxes.end());
	if (boxes.empty()) {
		setEnabled(true);
		if (focus_before_box)
			focus_before_box->setFocus(Qt::OtherFocusReason);
		// The command that asked is still on the stack above this loop: the
		// window goes once the event loop has it back.
		if (destroy_requested)
			deleteLater();
	}
}

QMessageBox::StandardButton PanelWindow::RunBox(QMessageBox::Icon icon, const QString &text,
						QMessageBox::StandardButtons buttons)
{
	if (destroy_requested)
		return QMessageBox::NoButton;
	auto *box = new QMessageBox(icon, QStringLiteral("Torvane"), text, buttons);
	QMessageBox::StandardButton answer = QMessageBox::NoButton;
	RunDialog(box, [&]() { answer = box->standardButton(box->clickedButton()); });
	return answer;
}

bool PanelWindow::RunTextBox(const QString &prompt, QString &text, bool masked)
{
	if (destroy_requested)
		return false;
	auto *box = new QInputDialog();
	box->setWindowTitle(QStringLiteral("Torvane"));
	box->setLabelText(prompt);
	box->setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
	box->setTextValue(text);
	box->setOkButtonText(QString::fromUtf8(Tr(Txt::Ok)));
	box->setCancelButtonText(QString::fromUtf8(Tr(Txt::Cancel)));
	bool taken = false;
	RunDialog(box, [&]() {
		taken = box->result() == QDialog::Accepted;
		if (taken)
			text = box->textValue();
	});
	return taken;
}

int32_t PanelWindow::RunMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked)
{
	if (destroy_requested || BoxOpen())
		return -1;
	menu = new QMenu(this);
	menu->setObjectName(QStringLiteral("encoderMenu"));
	for (size_t i = 0; i < items.size(); i++) {
		QAction *action = menu->addAction(ToQString(items[i]));
		action->setCheckable(true);
		action->setChecked(static_cast<int32_t>(i) == checked);
		action->setData(static_cast<int>(i));
	}
	const QAction *chosen = menu->exec(mapToGlobal(QPoint(anchor.left, anchor.bottom)));
	const int32_t index = chosen && !destroy_requested ? chosen->data().toInt() : -1;
	delete menu.data();
	// As after a box: the command that asked is still on the stack.
	if (destroy_requested)
		deleteLater();
	return index;
}

void DestroyPanelWindow(PanelWindow *window)
{
	if (!window)
		return;
	if (!window->BoxOpen()) {
		delete window;
		return;
	}
	window->destroy_requested = true;
	window->hide();
	for (const QPointer<QDialog> &box : window->boxes)
		if (box)
			box->reject();
	if (window->menu)
		window->menu->close();
}

} // namespace torvane
