// The destination list on Qt: painted rows, the tick and action strips, the
// row menu, the keys that move the selection, and a text of the rows for screen
// readers.
#include "panel/qt/panel_window.h"

#include "panel/qt/render.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace torvane {

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
	const Controller &controller = window.Behaviour().controller;
	const Destination &d = controller.store.settings.destinations[static_cast<size_t>(row)];
	const RowView view = ViewRow(controller, static_cast<size_t>(row));
	QString line = QString::fromUtf8(d.name) + QStringLiteral(": ") + QString::fromUtf8(view.status.text);
	if (!view.figure.empty())
		line += QStringLiteral(" (") + QString::fromUtf8(view.figure) + QStringLiteral(")");
	if (view.action != RowAction::None)
		line += QStringLiteral(" [") + ToQString(RowActionLabel(view.action)) + QStringLiteral("]");
	return line;
}

void DestinationList::UpdateDescription()
{
	const auto rows = std::min(count, DestinationCount(window.Behaviour()));
	lines.clear();
	for (int32_t row = 0; row < rows; row++)
		lines << RowDescription(row);
	PublishDescription();
}

void DestinationList::UpdateDescription(int32_t row)
{
	if (row < 0 || row >= lines.size() || row >= DestinationCount(window.Behaviour()))
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

} // namespace torvane
