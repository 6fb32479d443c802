#include "panel/qt/render.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

namespace torvane {

QColor ToQColor(Color color)
{
	return QColor(color.r, color.g, color.b);
}

QRect ToQRect(const Rect &r)
{
	return QRect(r.left, r.top, r.Width(), r.Height());
}

QString ToQString(const std::u16string &text)
{
	return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString &text)
{
	return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<size_t>(text.size()));
}

QFont PanelFont(FontRole role, uint32_t dpi)
{
	const FontSpec spec = FontFor(role);
	// "Segoe UI" is rarely installed on Linux; fontconfig picks the closest face.
	QFont font(QString::fromUtf8(spec.face));
	font.setPixelSize(Scale(spec.pixels, dpi));
	font.setWeight(static_cast<QFont::Weight>(spec.weight));
	font.setStyleStrategy(QFont::PreferAntialias);
	return font;
}

namespace {

QRectF ToQRectF(const Rect &r)
{
	return QRectF(r.left, r.top, r.Width(), r.Height());
}

// The outline sits on pixel centres inside the rectangle; the corners are
// quarter ellipses of the given diameter.
void RoundRect(QPainter &painter, const DrawOp &op)
{
	const double x = op.rect.left + 0.5;
	const double y = op.rect.top + 0.5;
	const double d = op.diameter;
	const double x2 = x + (op.rect.Width() - 1) - d;
	const double y2 = y + (op.rect.Height() - 1) - d;
	QPainterPath path;
	path.arcMoveTo(QRectF(x, y, d, d), 180);
	path.arcTo(QRectF(x, y, d, d), 180, -90);
	path.arcTo(QRectF(x2, y, d, d), 90, -90);
	path.arcTo(QRectF(x2, y2, d, d), 0, -90);
	path.arcTo(QRectF(x, y2, d, d), 270, -90);
	path.closeSubpath();
	painter.setRenderHint(QPainter::Antialiasing, true);
	painter.fillPath(path, ToQColor(op.fill));
	QPen pen(ToQColor(op.border));
	pen.setWidthF(1.0);
	painter.strokePath(path, pen);
}

void Text(QPainter &painter, const DrawOp &op, uint32_t dpi)
{
	const QFont font = PanelFont(op.font, dpi);
	painter.setFont(font);
	painter.setPen(ToQColor(op.fill));
	QString text = ToQString(op.text);
	const QRect rect = ToQRect(op.rect);
	if (!op.trailing.empty()) {
		// At the right end of what the text leaves, shortened where it doesn't fit.
		const int room = rect.width() - QFontMetrics(font).horizontalAdvance(text) - op.trailing_gap;
		const QFont trailing_font = op.trailing_font ? PanelFont(*op.trailing_font, dpi) : font;
		const QString trailing = ToQString(op.trailing);
		painter.setFont(trailing_font);
		painter.setPen(ToQColor(op.trailing_color));
		if (room > 0)
			painter.drawText(rect,
					 Qt::AlignRight | (op.trailing_font ? Qt::AlignBottom : Qt::AlignTop) |
						 Qt::TextSingleLine,
					 QFontMetrics(trailing_font).elidedText(trailing, Qt::ElideRight, room));
		painter.setFont(font);
		painter.setPen(ToQColor(op.fill));
	}

	const TextLayout &layout = op.layout;
	int flags = 0;
	flags |= layout.align == TextAlign::Center  ? Qt::AlignHCenter
		 : layout.align == TextAlign::Right ? Qt::AlignRight
						    : Qt::AlignLeft;
	const bool single = layout.lines == TextLines::Single;
	flags |= single && layout.middle ? Qt::AlignVCenter : Qt::AlignTop;
	if (single) {
		text.replace(QLatin1Char('\n'), QLatin1Char(' '));
		flags |= Qt::TextSingleLine;
	} else if (layout.lines == TextLines::Wrapped) {
		flags |= Qt::TextWordWrap;
	}
	if (layout.ellipsis)
		text = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
	painter.drawText(rect, flags, text);
}

QPen Pen(const DrawOp &op)
{
	QPen pen(ToQColor(op.fill));
	pen.setWidthF(op.pen_width);
	pen.setCapStyle(Qt::FlatCap);
	pen.setJoinStyle(Qt::MiterJoin);
	return pen;
}

} // namespace

void Render(QPainter &painter, const DrawList &ops, uint32_t dpi)
{
	for (const DrawOp &op : ops) {
		painter.save();
		switch (op.kind) {
		case DrawKind::FillRect:
			painter.fillRect(ToQRect(op.rect), ToQColor(op.fill));
			break;
		case DrawKind::RoundRect:
			RoundRect(painter, op);
			break;
		case DrawKind::Text:
			Text(painter, op, dpi);
			break;
		case DrawKind::Polyline: {
			QPolygonF line;
			for (const PointF &p : op.points)
				line << QPointF(p.x, p.y);
			painter.setRenderHint(QPainter::Antialiasing, true);
			painter.setPen(Pen(op));
			painter.drawPolyline(line);
			break;
		}
		case DrawKind::FillPolygon: {
			QPolygonF shape;
			for (const PointF &p : op.points)
				shape << QPointF(p.x, p.y);
			painter.setRenderHint(QPainter::Antialiasing, true);
			painter.setPen(Qt::NoPen);
			painter.setBrush(ToQColor(op.fill));
			painter.drawPolygon(shape);
			break;
		}
		case DrawKind::Line:
			if (op.points.size() == 2) {
				painter.setRenderHint(QPainter::Antialiasing, true);
				painter.setPen(Pen(op));
				painter.drawLine(QPointF(op.points[0].x, op.points[0].y),
						 QPointF(op.points[1].x, op.points[1].y));
			}
			break;
		case DrawKind::EllipseOutline:
			painter.setRenderHint(QPainter::Antialiasing, true);
			painter.setPen(Pen(op));
			painter.setBrush(Qt::NoBrush);
			painter.drawEllipse(ToQRectF(op.rect));
			break;
		case DrawKind::FillEllipse:
			painter.setRenderHint(QPainter::Antialiasing, true);
			painter.setPen(Qt::NoPen);
			painter.setBrush(ToQColor(op.fill));
			painter.drawEllipse(ToQRectF(op.rect));
			break;
		case DrawKind::FillRectAA:
			painter.setRenderHint(QPainter::Antialiasing, true);
			painter.fillRect(ToQRectF(op.rect), ToQColor(op.fill));
			break;
		case DrawKind::FocusRect: {
			QPen pen(ToQColor(op.fill));
			pen.setStyle(Qt::DotLine);
			painter.setPen(pen);
			painter.setBrush(Qt::NoBrush);
			painter.drawRect(QRect(op.rect.left, op.rect.top, op.rect.Width() - 1, op.rect.Height() - 1));
			break;
		}
		}
		painter.restore();
	}
}

} // namespace torvane
