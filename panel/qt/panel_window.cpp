#include "panel/qt/panel_window.h"

#include "panel/qt/render.h"
#include "settings/texts.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <QUrl>
#include <QWindow>

#include <algorithm>

namespace torvane {

namespace {

QString ToQString(const std::u16string &text)
{
	return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString &text)
{
	return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<size_t>(text.size()));
}

QRect ToQRect(const Rect &r)
{
	return QRect(r.left, r.top, r.Width(), r.Height());
}

QString Hex(Color color)
{
	return ToQColor(color).name();
}

} // namespace

// --- Buttons -----------------------------------------------------------------

PanelButton::PanelButton(PanelWindow &owner, int32_t control_id, QWidget *parent)
	: QAbstractButton(parent),
	  window(owner),
	  id(control_id)
{
	setFocusPolicy(Qt::StrongFocus);
	setAttribute(Qt::WA_Hover);
}

void PanelButton::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	ButtonPaintState paint_state;
	paint_state.pressed = isDown();
	paint_state.focused = hasFocus();
	Render(painter, PaintButton(window.Behaviour(), id, {0, 0, width(), height()}, paint_state), window.Dpi());
}

void PanelButton::enterEvent(QEnterEvent *event)
{
	OnButtonHovered(window.Behaviour(), id);
	QAbstractButton::enterEvent(event);
}

void PanelButton::leaveEvent(QEvent *event)
{
	if (window.Behaviour().state.hovered_button == id)
		OnButtonHovered(window.Behaviour(), 0);
	QAbstractButton::leaveEvent(event);
}

// --- Destination list ----------------------------------------------------------

DestinationList::DestinationList(PanelWindow &owner, QWidget *parent) : QAbstractScrollArea(parent), window(owner)
{
	setFocusPolicy(Qt::StrongFocus);
	setFrameShape(QFrame::NoFrame);
	setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
	setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
	viewport()->setAutoFillBackground(false);
}

QRect DestinationList::RowRect(int32_t row) const
{
	const int h = Scale(row_height, window.Dpi());
	return QRect(0, row * h - verticalScrollBar()->value(), viewport()->width(), h);
}

int32_t DestinationList::RowAt(int y) const
{
	const int h = Scale(row_height, window.Dpi());
	const int32_t row = (y + verticalScrollBar()->value()) / h;
	return y >= 0 && row < count ? row : -1;
}

void DestinationList::SetRowCount(int32_t rows)
{
	count = rows;
	if (current >= count)
		current = count - 1;
	UpdateScrollRange();
	UpdateDescription();
	viewport()->update();
}

QString DestinationList::RowDescription(int32_t row) const
{
	const torvane::Panel &panel = window.Behaviour();
	const Destination &d = panel.store.settings.destinations[static_cast<size_t>(row)];
	const DestinationStats stats = panel.engine.GetStats(static_cast<uint64_t>(row));
	QString line = QString::fromUtf8(d.name) + QStringLiteral(": ") +
		       QString::fromUtf8(DestinationStatusLine(d, stats).text);
	const std::string figure = LiveFigure(d, stats);
	if (!figure.empty())
		line += QStringLiteral(" (") + QString::fromUtf8(figure) + QStringLiteral(")");
	const RowAction action = RowActionFor(panel, row);
	if (action != RowAction::None)
		line += QStringLiteral(" [") + ToQString(RowActionLabel(action)) + QStringLiteral("]");
	return line;
}

void DestinationList::UpdateDescription()
{
	const auto rows = std::min(count, static_cast<int32_t>(window.Behaviour().store.settings.destinations.size()));
	lines.clear();
	for (int32_t row = 0; row < rows; row++)
		lines << RowDescription(row);
	PublishDescription();
}

void DestinationList::UpdateDescription(int32_t row)
{
	if (row < 0 || row >= lines.size() ||
	    row >= static_cast<int32_t>(window.Behaviour().store.settings.destinations.size()))
		return;
	lines[row] = RowDescription(row);
	PublishDescription();
}

void DestinationList::PublishDescription()
{
	// Once the changes of this turn of the event loop are in.
	if (publish_pending)
		return;
	publish_pending = true;
	QTimer::singleShot(0, this, [this]() {
		publish_pending = false;
		setAccessibleDescription(lines.join(QLatin1Char('\n')));
	});
}

void DestinationList::SelectRow(int32_t row)
{
	current = row >= 0 && row < count ? row : -1;
	EnsureVisible(current);
	viewport()->update();
}

void DestinationList::UpdateRow(int32_t row)
{
	UpdateDescription(row);
	viewport()->update(RowRect(row));
}

void DestinationList::UpdateAllRows()
{
	UpdateDescription();
	viewport()->update();
}

void DestinationList::UpdateScrollRange()
{
	const int h = Scale(row_height, window.Dpi());
	verticalScrollBar()->setRange(0, std::max(0, count * h - viewport()->height()));
	verticalScrollBar()->setPageStep(viewport()->height());
	verticalScrollBar()->setSingleStep(h);
}

void DestinationList::EnsureVisible(int32_t row)
{
	if (row < 0)
		return;
	const QRect r = RowRect(row);
	if (r.top() < 0)
		verticalScrollBar()->setValue(verticalScrollBar()->value() + r.top());
	else if (r.bottom() >= viewport()->height())
		verticalScrollBar()->setValue(verticalScrollBar()->value() + r.bottom() - viewport()->height() + 1);
}

void DestinationList::resizeEvent(QResizeEvent *event)
{
	QAbstractScrollArea::resizeEvent(event);
	UpdateScrollRange();
}

void DestinationList::paintEvent(QPaintEvent *)
{
	QPainter painter(viewport());
	painter.fillRect(viewport()->rect(), ToQColor(color_card));
	for (int32_t row = 0; row < count; row++) {
		const QRect r = RowRect(row);
		if (r.bottom() < 0 || r.top() >= viewport()->height())
			continue;
		Render(painter, PaintRow(window.Behaviour(), row, {r.left(), r.top(), r.right() + 1, r.bottom() + 1}),
		       window.Dpi());
	}
}

void DestinationList::mousePressEvent(QMouseEvent *event)
{
	if (event->button() != Qt::LeftButton) {
		QAbstractScrollArea::mousePressEvent(event);
		return;
	}
	const QPoint at = event->position().toPoint();
	const int32_t row = RowAt(at.y());
	if (at.x() < Scale(tick_strip_width, window.Dpi())) {
		// The tick strip: toggles, never selects by itself when refused.
		ToggleTick(window.Behaviour(), row);
		setFocus(Qt::MouseFocusReason);
		return;
	}
	if (row >= 0 && InRowActionStrip({0, 0, viewport()->width(), 0}, at.x(), window.Dpi())) {
		// The action strip, hit like the tick strip: the row's action or nothing.
		const RowAction action = RowActionFor(window.Behaviour(), row);
		setFocus(Qt::MouseFocusReason);
		if (action != RowAction::None) {
			Select(row);
			RunRowAction(window.Behaviour(), row, action);
		}
		return;
	}
	setFocus(Qt::MouseFocusReason);
	Select(row);
}

void DestinationList::Select(int32_t row)
{
	if (row < 0)
		return;
	SelectRow(row);
	OnRowSelected(window.Behaviour(), row);
}

void DestinationList::contextMenuEvent(QContextMenuEvent *event)
{
	const int32_t row = event->reason() == QContextMenuEvent::Mouse ? RowAt(event->pos().y()) : current;
	if (row < 0)
		return;
	Select(row);
	const RowAction action = RowActionFor(window.Behaviour(), row);
	// The menu has no parent: OBS may close the panel while the menu is open.
	QPointer<DestinationList> self(this);
	QMenu menu;
	menu.setObjectName(QStringLiteral("rowMenu"));
	for (RowAction entry : row_menu_actions)
		menu.addAction(ToQString(RowActionLabel(entry)))->setEnabled(entry == action);
	const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
								      : viewport()->mapToGlobal(RowRect(row).center());
	if (menu.exec(at) && self)
		RunRowAction(window.Behaviour(), row, action);
}

void DestinationList::keyPressEvent(QKeyEvent *event)
{
	ListKey key;
	switch (event->key()) {
	case Qt::Key_Space:
		ToggleTick(window.Behaviour(), current);
		return;
	case Qt::Key_Return:
	case Qt::Key_Enter:
		OnListEnter(window.Behaviour());
		return;
	case Qt::Key_Up:
		key = ListKey::Up;
		break;
	case Qt::Key_Down:
		key = ListKey::Down;
		break;
	case Qt::Key_Home:
		key = ListKey::Home;
		break;
	case Qt::Key_End:
		key = ListKey::End;
		break;
	case Qt::Key_PageUp:
		key = ListKey::PageUp;
		break;
	case Qt::Key_PageDown:
		key = ListKey::PageDown;
		break;
	default:
		QAbstractScrollArea::keyPressEvent(event);
		return;
	}
	const int h = Scale(row_height, window.Dpi());
	const int32_t top = (verticalScrollBar()->value() + h - 1) / h;
	const int32_t row = ListKeyTarget(key, current, count, top, viewport()->height() / h);
	if (row >= 0 && row != current) {
		SelectRow(row);
		OnRowSelected(window.Behaviour(), row);
	}
}

// --- Field limits ------------------------------------------------------------

TypingLimit::TypingLimit(QLineEdit *field, int max_length) : QValidator(field), limit(max_length)
{
	connect(field, &QLineEdit::textChanged, this, [this](const QString &text) { current = text.size(); });
}

QValidator::State TypingLimit::validate(QString &input, int &) const
{
	return input.size() > limit && input.size() > current ? Invalid : Acceptable;
}

// --- Toolkit interface -----------------------------------------------------------

void QtPanelUi::SetText(int32_t id, const std::u16string &text)
{
	if (QLineEdit *field = window.Field(id)) {
		if (auto *limit = dynamic_cast<const TypingLimit *>(field->validator()))
			limit->Allow(static_cast<qsizetype>(text.size()));
		field->setText(ToQString(text));
	} else if (auto *button = dynamic_cast<QAbstractButton *>(window.Control(id)))
		button->setText(ToQString(text));
}

std::u16string QtPanelUi::Text(int32_t id) const
{
	if (QLineEdit *field = window.Field(id))
		return FromQString(field->text());
	if (auto *button = dynamic_cast<QAbstractButton *>(window.Control(id)))
		return FromQString(button->text());
	return std::u16string();
}

void QtPanelUi::SetEnabled(int32_t id, bool enabled)
{
	if (QWidget *control = window.Control(id))
		control->setEnabled(enabled);
	if (QLineEdit *field = window.Field(id))
		window.DimField(field, !enabled);
}

// A control counts as enabled while a message box disables the whole panel,
// as a Windows control does while its owner is disabled.
bool QtPanelUi::IsEnabled(int32_t id) const
{
	QWidget *control = window.Control(id);
	return control && control->isEnabledTo(&window);
}

void QtPanelUi::SetMasked(int32_t id, bool masked)
{
	if (QLineEdit *field = window.Field(id))
		field->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

bool QtPanelUi::IsMasked(int32_t id) const
{
	QLineEdit *field = window.Field(id);
	return field && field->echoMode() == QLineEdit::Password;
}

void QtPanelUi::SetFocus(int32_t id)
{
	if (QWidget *control = window.Control(id))
		control->setFocus(Qt::OtherFocusReason);
}

bool QtPanelUi::HasFocus(int32_t id) const
{
	QWidget *control = window.Control(id);
	return control && control->hasFocus();
}

void QtPanelUi::SetRowCount(int32_t count)
{
	window.List()->SetRowCount(count);
}

void QtPanelUi::SelectRow(int32_t row)
{
	window.List()->SelectRow(row);
}

void QtPanelUi::InvalidatePanel()
{
	window.update();
}

void QtPanelUi::InvalidateArea(const Rect &area)
{
	window.update(ToQRect(area));
}

void QtPanelUi::InvalidateControl(int32_t id)
{
	if (QWidget *control = window.Control(id))
		control->update();
}

void QtPanelUi::InvalidateRow(int32_t row)
{
	window.List()->UpdateRow(row);
}

void QtPanelUi::InvalidateList()
{
	window.List()->UpdateAllRows();
}

bool QtPanelUi::AskYesNo(const std::u16string &text)
{
	return window.RunBox(QMessageBox::Question, ToQString(text), QMessageBox::Yes | QMessageBox::No) ==
	       QMessageBox::Yes;
}

void QtPanelUi::ShowNotice(const std::u16string &text)
{
	window.RunBox(QMessageBox::Information, ToQString(text), QMessageBox::Ok);
}

void QtPanelUi::OpenAddress(const char *url)
{
	QDesktopServices::openUrl(QUrl(QString::fromUtf8(url)));
}

void QtPanelUi::HidePanel()
{
	window.hide();
}

// --- Window --------------------------------------------------------------------

PanelWindow::PanelWindow(QWidget *owner, uint32_t dpi, PanelState &shared_state, SettingsStore &store,
			 MultistreamEngine &runs, VideoInfoSource video_info)
	: QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
				 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
	  state(shared_state),
	  ui(*this),
	  panel{ui, shared_state, store, runs, video_info}
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

void PanelWindow::CreateControls()
{
	const uint32_t dpi = state.dpi;
	// Masked fields show U+2022 bullets, as the Windows fields do.
	const QString field_rule =
		QStringLiteral("QLineEdit { background: %1; color: %2; border: none; padding: 0; "
			       "selection-background-color: %3; lineedit-password-character: 8226; }");
	field_style = field_rule.arg(Hex(color_field), Hex(color_text), Hex(color_highlight));
	dimmed_field_style = field_rule.arg(Hex(color_field), Hex(color_disabled_text), Hex(color_highlight));
	const QString label_style =
		QStringLiteral("QLabel { background: %1; color: %2; }").arg(Hex(color_card), Hex(color_muted));

	// Created in the table's order, which Qt's focus chain follows for Tab.
	for (const ControlSpec &spec : panel_controls) {
		QWidget *widget = nullptr;
		switch (spec.kind) {
		case ControlKind::List:
			list = new DestinationList(*this, this);
			widget = list;
			break;
		case ControlKind::Label: {
			auto *label = new QLabel(QString::fromUtf8(Tr(spec.caption)), this);
			label->setFont(PanelFont(FontRole::Small, dpi));
			label->setStyleSheet(label_style);
			label->setFocusPolicy(Qt::NoFocus);
			widget = label;
			break;
		}
		case ControlKind::Field: {
			auto *field = new QLineEdit(this);
			field->setFrame(false);
			field->setValidator(new TypingLimit(field, spec.max_length));
			field->setStyleSheet(field_style);
			field->setEchoMode(spec.masked ? QLineEdit::Password : QLineEdit::Normal);
			field->installEventFilter(this);
			if (spec.id == id_bitrate)
				connect(field, &QLineEdit::textChanged, this, [this]() { OnBitrateEdited(panel); });
			widget = field;
			break;
		}
		case ControlKind::Button: {
			auto *button = new PanelButton(*this, spec.id, this);
			button->setText(QString::fromUtf8(Tr(spec.caption)));
			const int32_t id = spec.id;
			connect(button, &QAbstractButton::clicked, this, [this, id]() { OnButtonClicked(panel, id); });
			widget = button;
			break;
		}
		}
		widget->setGeometry(ToQRect(ControlRect(spec, dpi)));
		if (spec.kind != ControlKind::Label) {
			widget->setObjectName(QStringLiteral("control%1").arg(spec.id));
			controls[spec.id] = widget;
		}
	}
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

void PanelWindow::DimField(QLineEdit *field, bool dimmed)
{
	field->setStyleSheet(dimmed ? dimmed_field_style : field_style);
}

QMessageBox::StandardButton PanelWindow::RunBox(QMessageBox::Icon icon, const QString &text,
						QMessageBox::StandardButtons buttons)
{
	// The box has no parent widget: a box parented to the panel would be
	// disabled with it, and a window-modal one would block OBS's main window
	// too, which owns the panel. It stays above the panel through its
	// transient parent.
	if (destroy_requested)
		return QMessageBox::NoButton;
	QPointer<QMessageBox> box = new QMessageBox(icon, QStringLiteral("Torvane"), text, buttons);
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

	QMessageBox::StandardButton answer = QMessageBox::NoButton;
	if (box) {
		answer = box->standardButton(box->clickedButton());
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
	return answer;
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
	for (const QPointer<QMessageBox> &box : window->boxes)
		if (box)
			box->reject();
}

} // namespace torvane
