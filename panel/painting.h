#pragma once

#include "panel/panel_state.h"
#include "panel/layout.h"
#include "panel/theme.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the panel paints, as a list of drawing operations in device pixels. Each
// toolkit renders the list with its own means (GDI and GDI+ on Windows,
// QPainter on Linux); the tests read it without a window.
namespace torvane {

// How a text sits in its rectangle. Texts are drawn as written: an ampersand
// never marks an access key.
enum class TextAlign : uint8_t { Left, Center, Right };

// Where a text's lines break: at its own line breaks only, at word ends too
// where the width runs out, or nowhere, its line breaks drawn as spaces.
enum class TextLines : uint8_t { AsWritten, Wrapped, Single };

struct TextLayout {
	TextAlign align = TextAlign::Left;
	TextLines lines = TextLines::AsWritten;
	bool middle = false;   // a single line centred vertically, else at the top
	bool ellipsis = false; // a single line cut short with an ellipsis where it doesn't fit
};

inline constexpr TextLayout text_wrap = {TextAlign::Left, TextLines::Wrapped};
inline constexpr TextLayout text_right = {TextAlign::Right};
inline constexpr TextLayout text_line = {TextAlign::Left, TextLines::Single, true};
inline constexpr TextLayout text_centred_line = {TextAlign::Center, TextLines::Single, true};
inline constexpr TextLayout text_cut_line = {TextAlign::Left, TextLines::Single, false, true};

struct PointF {
	double x = 0;
	double y = 0;
};

enum class DrawKind {
	FillRect,       // rect filled with fill
	RoundRect,      // anti-aliased rounded rect: corner ellipse of `diameter`, fill, 1 px border
	Text,           // text in rect with font, colour (fill) and layout, transparent background
	Polyline,       // anti-aliased open polyline through points, pen colour fill, pen_width
	EllipseOutline, // anti-aliased ellipse outline in rect, pen colour fill, pen_width
	FillEllipse,    // anti-aliased filled ellipse in rect
	FillRectAA,     // anti-aliased filled rectangle (GDI+), rect
	Line,           // anti-aliased line from points[0] to points[1], pen colour fill, pen_width
	FocusRect,      // dotted focus rectangle in the colour fill (Win32 draws it inverted)
	FillPolygon,    // anti-aliased filled polygon through points
};

struct DrawOp {
	DrawKind kind = DrawKind::FillRect;
	Rect rect;
	int32_t diameter = 0; // RoundRect
	Color fill;           // fill, text or pen colour
	Color border;         // RoundRect outline
	std::u16string text;
	FontRole font = FontRole::Body;
	TextLayout layout;
	std::vector<PointF> points;
	double pen_width = 1.0;
	// Text only: a second text drawn at the rectangle's right end in
	// `trailing_font` (set: at the bottom, else in the same font at the top) and in
	// `trailing_color`, in what the first text leaves at least `trailing_gap`
	// pixels after it, with an ellipsis where it doesn't fit.
	std::u16string trailing;
	std::optional<FontRole> trailing_font;
	Color trailing_color;
	int32_t trailing_gap = 0;
};

using DrawList = std::vector<DrawOp>;

// The whole client area.
DrawList PaintPanel(const Panel &panel);

// One owner-drawn button, in its own coordinates (0, 0, width, height).
struct ButtonPaintState {
	bool pressed = false;
	bool focused = false;
};
DrawList PaintButton(const Panel &panel, int32_t id, const Rect &item, ButtonPaintState paint_state);

// One row of the destination list in the list's coordinates.
DrawList PaintRow(const Panel &panel, int32_t row, const Rect &item);

// The row's action box, mirroring its tick box, inside the row's action strip.
Rect RowActionBox(const Rect &item, uint32_t dpi);

// The platform hint under the connection form.
std::u16string PlatformHint(const Panel &panel);

} // namespace torvane
