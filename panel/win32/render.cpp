// GDI and GDI+ drawing of the panel's drawing lists. Fills and text go through
// GDI; rounded shapes, the check mark and the coffee icon through GDI+ for
// anti-aliasing.
#include "panel/win32/panel_window.h"

#include <algorithm>
#include <gdiplus.h>

namespace torvane {

namespace {

// A memory device context, deleted with its owner.
struct MemoryDcDeleter {
	void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

Gdiplus::Color ToArgb(Color color)
{
	Gdiplus::Color argb;
	argb.SetFromCOLORREF(ToColorref(color));
	return argb;
}

HFONT FontOf(const PanelTheme &theme, FontRole role)
{
	HFONT font = nullptr;
	switch (role) {
	case FontRole::Title:
		font = theme.font_title.get();
		break;
	case FontRole::Small:
		font = theme.font_small.get();
		break;
	case FontRole::Heading:
		font = theme.font_heading.get();
		break;
	case FontRole::Body:
		break;
	}
	return font ? font : theme.font_body.get();
}

void FillSolid(HDC dc, const Rect &r, Color color)
{
	const RECT rect = {r.left, r.top, r.right, r.bottom};
	const COLORREF previous = SetDCBrushColor(dc, ToColorref(color));
	FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
	SetDCBrushColor(dc, previous);
}

// Texts are drawn as written: no ampersand marks an access key.
UINT DrawTextFlags(const TextLayout &layout)
{
	UINT flags = DT_NOPREFIX;
	flags |= layout.align == TextAlign::Center ? DT_CENTER : layout.align == TextAlign::Right ? DT_RIGHT : DT_LEFT;
	if (layout.lines == TextLines::Wrapped)
		flags |= DT_WORDBREAK;
	if (layout.lines == TextLines::Single)
		flags |= DT_SINGLELINE;
	if (layout.middle)
		flags |= DT_VCENTER;
	if (layout.ellipsis)
		flags |= DT_END_ELLIPSIS;
	return flags;
}

void DrawText(HDC dc, const DrawOp &op, const PanelTheme &theme)
{
	RECT rect = {op.rect.left, op.rect.top, op.rect.right, op.rect.bottom};
	SetTextColor(dc, ToColorref(op.fill));
	SetBkMode(dc, TRANSPARENT);
	const HGDIOBJ previous = SelectObject(dc, FontOf(theme, op.font));
	const std::wstring text = ToWide(op.text);
	if (!op.trailing.empty()) {
		// At the right end of what the text leaves, shortened where it doesn't fit.
		SIZE size = {};
		GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
		RECT room = {rect.left + size.cx + op.trailing_gap, rect.top, rect.right, rect.bottom};
		SetTextColor(dc, ToColorref(op.trailing_color));
		if (op.trailing_font)
			SelectObject(dc, FontOf(theme, *op.trailing_font));
		if (room.left < room.right)
			DrawTextW(dc, ToWide(op.trailing).c_str(), -1, &room,
				  DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS |
					  (op.trailing_font ? DT_BOTTOM : 0));
		SelectObject(dc, FontOf(theme, op.font));
		SetTextColor(dc, ToColorref(op.fill));
	}
	DrawTextW(dc, text.c_str(), -1, &rect, DrawTextFlags(op.layout));
	SelectObject(dc, previous);
}

// A pen that draws through the shape's points with square joins like GDI's.
void ShapeOp(HDC dc, const DrawOp &op)
{
	Gdiplus::Graphics graphics(dc);
	graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
	Gdiplus::Pen pen(ToArgb(op.fill), static_cast<Gdiplus::REAL>(op.pen_width));
	Gdiplus::SolidBrush brush(ToArgb(op.fill));
	const Gdiplus::RectF box(static_cast<Gdiplus::REAL>(op.rect.left), static_cast<Gdiplus::REAL>(op.rect.top),
				 static_cast<Gdiplus::REAL>(op.rect.Width()),
				 static_cast<Gdiplus::REAL>(op.rect.Height()));
	std::vector<Gdiplus::PointF> points;
	for (const PointF &p : op.points)
		points.emplace_back(static_cast<Gdiplus::REAL>(p.x), static_cast<Gdiplus::REAL>(p.y));

	switch (op.kind) {
	case DrawKind::Polyline:
		if (points.size() >= 2)
			graphics.DrawLines(&pen, points.data(), static_cast<INT>(points.size()));
		break;
	case DrawKind::Line:
		if (points.size() == 2)
			graphics.DrawLine(&pen, points[0], points[1]);
		break;
	case DrawKind::EllipseOutline:
		graphics.DrawEllipse(&pen, box);
		break;
	case DrawKind::FillEllipse:
		graphics.FillEllipse(&brush, box);
		break;
	case DrawKind::FillRectAA:
		graphics.FillRectangle(&brush, box);
		break;
	case DrawKind::FillPolygon:
		if (points.size() >= 3)
			graphics.FillPolygon(&brush, points.data(), static_cast<INT>(points.size()));
		break;
	default:
		break;
	}
}

} // namespace

void FillRoundRect(HDC dc, const RECT &rect, int32_t diameter, Color fill, Color border)
{
	Gdiplus::Graphics graphics(dc);
	graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
	// The outline sits on pixel centres inside left .. right - 1 and top .. bottom - 1.
	const Gdiplus::REAL x = static_cast<Gdiplus::REAL>(rect.left) + 0.5f;
	const Gdiplus::REAL y = static_cast<Gdiplus::REAL>(rect.top) + 0.5f;
	const Gdiplus::REAL d = static_cast<Gdiplus::REAL>(diameter);
	const Gdiplus::REAL x2 = x + static_cast<Gdiplus::REAL>(rect.right - rect.left - 1) - d;
	const Gdiplus::REAL y2 = y + static_cast<Gdiplus::REAL>(rect.bottom - rect.top - 1) - d;
	Gdiplus::GraphicsPath path;
	path.AddArc(x, y, d, d, 180, 90);
	path.AddArc(x2, y, d, d, 270, 90);
	path.AddArc(x2, y2, d, d, 0, 90);
	path.AddArc(x, y2, d, d, 90, 90);
	path.CloseFigure();
	Gdiplus::SolidBrush brush(ToArgb(fill));
	graphics.FillPath(&brush, &path);
	Gdiplus::Pen pen(ToArgb(border), 1.0f);
	graphics.DrawPath(&pen, &path);
}

void RenderDrawList(HDC dc, const DrawList &list, const PanelTheme &theme, POINT origin)
{
	for (DrawOp op : list) {
		if (origin.x != 0 || origin.y != 0) {
			op.rect = {op.rect.left - origin.x, op.rect.top - origin.y, op.rect.right - origin.x,
				   op.rect.bottom - origin.y};
			for (PointF &p : op.points) {
				p.x -= origin.x;
				p.y -= origin.y;
			}
		}
		switch (op.kind) {
		case DrawKind::FillRect:
			FillSolid(dc, op.rect, op.fill);
			break;
		case DrawKind::RoundRect:
			FillRoundRect(dc, {op.rect.left, op.rect.top, op.rect.right, op.rect.bottom}, op.diameter,
				      op.fill, op.border);
			break;
		case DrawKind::Text:
			DrawText(dc, op, theme);
			break;
		case DrawKind::FocusRect: {
			const RECT rect = {op.rect.left, op.rect.top, op.rect.right, op.rect.bottom};
			DrawFocusRect(dc, &rect);
			break;
		}
		default:
			ShapeOp(dc, op);
			break;
		}
	}
}

void RenderBuffered(HDC target, const RECT &area, const DrawList &list, const PanelTheme &theme)
{
	const int32_t width = area.right - area.left;
	const int32_t height = area.bottom - area.top;
	// Declared before the bitmap, so that the bitmap goes first.
	const MemoryDc memory(width > 0 && height > 0 ? CreateCompatibleDC(target) : nullptr);
	const GdiObject<HBITMAP> bitmap(memory ? CreateCompatibleBitmap(target, width, height) : nullptr);
	if (!bitmap)
		return RenderDrawList(target, list, theme);
	const HGDIOBJ replaced = SelectObject(memory.get(), bitmap.get());
	// The drawing lists are in the target's coordinates; they are moved when
	// rendered rather than through the DC's viewport, which GDI+ need not honour.
	RenderDrawList(memory.get(), list, theme, {area.left, area.top});
	BitBlt(target, area.left, area.top, width, height, memory.get(), 0, 0, SRCCOPY);
	SelectObject(memory.get(), replaced);
}

} // namespace torvane
