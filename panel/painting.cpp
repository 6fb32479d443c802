#include "panel/painting.h"

#include "panel/form.h"
#include "panel/row_actions.h"
#include "settings/platform.h"
#include "settings/protocol.h"
#include "settings/quality.h"
#include "settings/utf8.h"
#include "torvane_version.h"
#include "settings/texts.h"

#include <obs.h>

#include <cmath>

namespace torvane {

namespace {

DrawOp Op(DrawKind kind, const Rect &rect, Color color)
{
	DrawOp op;
	op.kind = kind;
	op.rect = rect;
	op.fill = color;
	return op;
}

struct Painter {
	DrawList ops;
	uint32_t dpi;

	void FillRect(const Rect &rect, Color color) { ops.push_back(Op(DrawKind::FillRect, rect, color)); }

	// A rounded rectangle in device pixels with its radius at 96 DPI.
	void RoundRect(const Rect &rect, int32_t radius, Color fill, Color border)
	{
		DrawOp op = Op(DrawKind::RoundRect, rect, fill);
		op.diameter = Scale(2 * radius, dpi);
		op.border = border;
		ops.push_back(op);
	}

	void ScaledRoundRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, Color fill, Color border)
	{
		RoundRect(ScaleRect(x, y, w, h, dpi), radius, fill, border);
	}

	void Text(const Rect &rect, std::u16string text, Color color, FontRole font, TextLayout layout)
	{
		DrawOp op = Op(DrawKind::Text, rect, color);
		op.text = std::move(text);
		op.font = font;
		op.layout = layout;
		ops.push_back(std::move(op));
	}

	// A text in the rectangle given by its edges at 96 DPI.
	void EdgeText(int32_t left, int32_t top, int32_t right, int32_t bottom, std::u16string text, Color color,
		      FontRole font, TextLayout layout)
	{
		Text(ScaleEdges({left, top, right, bottom}, dpi), std::move(text), color, font, layout);
	}
};

// An 18 x 18 tick box, ticked or clear.
void PaintTick(Painter &p, const Rect &box, bool ticked)
{
	auto s = [&](int32_t v) {
		return Scale(v, p.dpi);
	};
	if (!ticked)
		return p.RoundRect(box, 4, color_field, color_box_border);
	p.RoundRect(box, 4, color_accent, color_accent);
	DrawOp check = Op(DrawKind::Polyline, Rect(), color_window);
	check.points = {{double(box.left + s(4)), double(box.top + s(9))},
			{double(box.left + s(8)), double(box.top + s(13))},
			{double(box.left + s(14)), double(box.top + s(5))}};
	check.pen_width = s(2);
	p.ops.push_back(check);
}

bool IsSelectedChip(const Panel &panel, int32_t id)
{
	const PanelSettings &settings = panel.controller.store.settings;
	const Quality shared = SharedQuality(settings);
	const Quality own = HasSelection(panel) ? QualityOf(settings, Selected(panel)) : shared;
	const bool is_own = id >= id_own_720p && id <= id_own_60fps;
	const Quality &q = is_own ? own : shared;
	if (is_own)
		id += id_720p - id_own_720p;
	return (id == id_720p && q.height == height_720p) || (id == id_1080p && q.height == height_1080p) ||
	       (id == id_30fps && q.fps == fps_30) || (id == id_60fps && q.fps == fps_60);
}

} // namespace

std::u16string PlatformHint(const Panel &panel)
{
	const int32_t index = panel.state.selected_index;
	if (index >= 0 && index < DestinationCount(panel)) {
		const Destination &d = panel.controller.store.settings.destinations[static_cast<size_t>(index)];
		switch (ProtocolOf(d.server)) {
		case Protocol::Srt:
			return Tr16(Txt::HintSrt);
		case Protocol::Rist:
			return Tr16(Txt::HintRist);
		case Protocol::Rtmp:
			break;
		}
		switch (ParsePlatform(d.platform)) {
		case Platform::Patreon:
			return Tr16(Txt::HintPatreon);
		case Platform::Kick:
			return Tr16(Txt::HintKick);
		case Platform::YouTube:
			return Tr16(Txt::HintYouTube);
		case Platform::Twitch:
			return Tr16(Txt::HintTwitch);
		case Platform::Custom:
			break;
		}
	}
	return Tr16(Txt::HintCustom);
}

DrawList PaintPanel(const Panel &panel)
{
	Painter p{{}, panel.state.dpi};

	p.FillRect(ScaleRect(0, 0, panel_width, panel_height, p.dpi), color_window);
	p.EdgeText(24, 19, 424, 63, u"Torvane", color_text, FontRole::Title, text_wrap);
	p.EdgeText(26, 66, 726, 88, Tr16(Txt::Tagline), color_muted, FontRole::Body, text_wrap);
	p.RoundRect(ScaleEdges({770, 25, 980, 64}, p.dpi), 18, color_highlight, color_border);
	p.Text(ScaleEdges(header_count_area, p.dpi), Utf8ToWide(HeaderOf(panel.controller)), color_accent,
	       FontRole::Body, text_centred_line);
	p.EdgeText(705, 74, 976, 91, Utf8ToWide(Tr(Txt::VersionBadge, {torvane_version})), color_muted, FontRole::Small,
		   text_right);

	p.RoundRect(ScaleEdges({20, 108, 320, 524}, p.dpi), 14, color_card, color_border);
	p.RoundRect(ScaleEdges({338, 108, 980, 524}, p.dpi), 14, color_card, color_border);
	p.EdgeText(38, 125, 288, 153, Tr16(Txt::Destinations), color_text, FontRole::Heading, text_wrap);
	p.EdgeText(38, 155, 303, 175, Tr16(Txt::DestinationsHint), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(358, 125, 520, 153, Tr16(Txt::Connection), color_text, FontRole::Heading, text_wrap);
	p.EdgeText(524, 128, 590, 146, Tr16(Txt::PictureCaption), color_muted, FontRole::Small, text_right);
	p.EdgeText(358, 338, 955, 360, PlatformHint(panel), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(358, 406, 948, 424, Tr16(Txt::CustomAuthentication), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(358, 491, 948, 519, Tr16(Txt::AuthenticationHint), color_muted, FontRole::Small, text_wrap);

	p.RoundRect(ScaleEdges({20, 542, 980, 648}, p.dpi), 14, color_card, color_border);
	p.EdgeText(39, 558, 219, 585, Tr16(Txt::StreamQuality), color_text, FontRole::Heading, text_wrap);
	p.EdgeText(40, 590, 200, 630, Tr16(Txt::SharedQuality), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(218, 554, 416, 573, Tr16(Txt::Resolution), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(378, 554, 522, 573, Tr16(Txt::FrameRate), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(534, 554, 634, 573, Tr16(Txt::BitrateKbps), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(638, 554, 808, 573, Tr16(Txt::EncoderCaption), color_muted, FontRole::Small, text_wrap);
	p.EdgeText(819, 554, 964, 573, Tr16(Txt::UploadBudget), color_muted, FontRole::Small, text_wrap);
	p.Text(ScaleEdges(upload_budget_area, p.dpi), Utf8ToWide(UploadBudgetOf(panel.controller)), color_accent,
	       FontRole::Heading, text_wrap);
	const StatusLine summary = OutputLineOf(panel.controller, SelectedIndex(panel));
	p.Text(ScaleEdges(summary_area, p.dpi), Utf8ToWide(summary.text), ToneColor(summary.tone), FontRole::Small,
	       text_wrap);

	for (const EditFrame &frame : edit_frames)
		p.RoundRect(EditFrameRect(frame, p.dpi), 8, color_field,
			    panel.ui.HasFocus(frame.id) ? color_accent : color_border);

	const StatusMessage &status = panel.controller.status;
	p.Text(ScaleEdges(status_area, p.dpi), Utf8ToWide(status.text), status.error ? color_error : color_muted,
	       FontRole::Small, text_wrap);
	p.EdgeText(23, 726, 733, 744, Tr16(Txt::ClosingKeepsStreams), color_muted, FontRole::Small, text_wrap);
	return std::move(p.ops);
}

static DrawList PaintCoffeeButton(const Panel &panel, const Rect &item, ButtonPaintState paint_state)
{
	Painter p{{}, panel.state.dpi};
	p.FillRect(item, color_window);
	if (panel.state.hovered_button == id_coffee || paint_state.pressed)
		p.RoundRect(item, 6, color_highlight, color_highlight);

	const double pen = Scale(2, p.dpi);
	const int32_t x0 = item.left + 10;
	const int32_t y0 = (item.top + item.bottom) / 2 - 7;
	auto box = [](int32_t x, int32_t y, int32_t w, int32_t h) {
		return Rect{x, y, x + w, y + h};
	};
	DrawOp handle = Op(DrawKind::EllipseOutline, box(x0 + 9, y0 + 3, 7, 7), color_accent);
	handle.pen_width = pen;
	p.ops.push_back(handle);
	p.ops.push_back(Op(DrawKind::FillRectAA, box(x0, y0 + 3, 11, 7), color_accent));
	p.ops.push_back(Op(DrawKind::FillEllipse, box(x0, y0 + 6, 11, 7), color_accent));
	DrawOp saucer = Op(DrawKind::Line, Rect(), color_accent);
	saucer.points = {{double(x0 - 1), double(y0 + 16)}, {double(x0 + 13), double(y0 + 16)}};
	saucer.pen_width = pen;
	p.ops.push_back(saucer);

	p.Text({item.left + 33, item.top, item.right, item.bottom}, Tr16(Txt::CoffeeLink), color_accent,
	       FontRole::Small, text_line);
	if (paint_state.focused)
		p.ops.push_back(Op(DrawKind::FocusRect, {item.left + 2, item.top + 2, item.right - 2, item.bottom - 2},
				   color_text));
	return std::move(p.ops);
}

// A tick drawn like the list's, followed by the caption.
static DrawList PaintTickButton(const Panel &panel, int32_t id, const Rect &item, ButtonPaintState paint_state)
{
	Painter p{{}, panel.state.dpi};
	auto s = [&](int32_t v) {
		return Scale(v, p.dpi);
	};
	p.FillRect(item, id == id_own ? color_card : color_window);
	const int32_t top = (item.top + item.bottom) / 2 - s(9);
	const PanelSettings &settings = panel.controller.store.settings;
	const bool ticked = id == id_follow  ? settings.follow_obs_stream
			    : id == id_relay ? settings.relay.enabled
					     : HasSelection(panel) && Selected(panel).quality;
	PaintTick(p, {item.left + s(4), top, item.left + s(22), top + s(18)}, ticked);
	p.Text({item.left + s(30), item.top, item.right, item.bottom}, panel.ui.Text(id),
	       panel.ui.IsEnabled(id) ? color_text : color_disabled_text, FontRole::Small, text_line);
	if (paint_state.focused)
		p.ops.push_back(Op(DrawKind::FocusRect, {item.left + 1, item.top + 1, item.right - 1, item.bottom - 1},
				   color_text));
	return std::move(p.ops);
}

DrawList PaintButton(const Panel &panel, int32_t id, const Rect &item, ButtonPaintState paint_state)
{
	if (id == id_coffee)
		return PaintCoffeeButton(panel, item, paint_state);
	if (id == id_follow || id == id_own || id == id_relay)
		return PaintTickButton(panel, id, item, paint_state);

	Painter p{{}, panel.state.dpi};
	const bool enabled = panel.ui.IsEnabled(id);
	const bool start = id == id_start;
	const bool chip = IsSelectedChip(panel, id);

	Color fill = start ? color_accent : chip ? color_highlight : color_card;
	Color border = start || chip ? color_accent : color_border;
	if (panel.state.hovered_button == id && enabled)
		fill = start ? color_accent_hover : color_hover;
	if (paint_state.pressed)
		fill = start ? color_accent_pressed : color_pressed;
	if (!enabled) {
		// A disabled chip still shows the quality it stands for.
		fill = color_disabled;
		border = chip ? color_row_border : color_border;
	}

	const bool on_window = id == id_save || id == id_start || id == id_stop;
	p.FillRect(item, on_window ? color_window : color_card);
	p.RoundRect(item, 8, fill, border);

	const Color label = !enabled ? color_disabled_text : start ? color_window : chip ? color_accent : color_text;
	std::u16string text = panel.ui.Text(id);
	if (text.size() > 159)
		text.resize(159);
	// An encoder's name may be long: smaller, and cut short where it doesn't fit.
	const bool encoder = id == id_encoder || id == id_own_encoder || id == id_picture;
	if (encoder)
		p.Text({item.left + Scale(8, p.dpi), item.top, item.right - Scale(8, p.dpi), item.bottom},
		       std::move(text), label, FontRole::Small, {TextAlign::Center, TextLines::Single, true, true});
	else
		p.Text(item, std::move(text), label, FontRole::Body, text_centred_line);
	if (paint_state.focused)
		p.ops.push_back(Op(DrawKind::FocusRect, {item.left + 4, item.top + 4, item.right - 4, item.bottom - 4},
				   color_text));
	return std::move(p.ops);
}

Rect RowActionBox(const Rect &item, uint32_t dpi)
{
	// The card ends 5 px before the row; the box stands 9 px inside the card,
	// as the tick box does at the left.
	const int32_t right = item.right - Scale(5, dpi) - Scale(9, dpi);
	const int32_t top = item.top + Scale(3, dpi) + Scale(18, dpi);
	return {right - Scale(18, dpi), top, right, top + Scale(18, dpi)};
}

namespace {

// The action's glyph in its box: a triangle to start, a square to stop, a
// circling arrow to retry.
void PaintRowAction(Painter &p, RowAction action, const Rect &box)
{
	auto s = [&](int32_t v) {
		return Scale(v, p.dpi);
	};
	const double x = box.left, y = box.top;
	DrawOp glyph;
	switch (action) {
	case RowAction::None:
		return;
	case RowAction::Start:
		p.RoundRect(box, 4, color_field, color_box_border);
		glyph = Op(DrawKind::FillPolygon, Rect(), color_accent);
		glyph.points = {{x + s(6), y + s(4)}, {x + s(14), y + s(9)}, {x + s(6), y + s(14)}};
		break;
	case RowAction::Stop:
		p.RoundRect(box, 4, color_accent, color_accent);
		glyph = Op(DrawKind::FillRectAA, {box.left + s(5), box.top + s(5), box.left + s(13), box.top + s(13)},
			   color_window);
		break;
	case RowAction::Retry: {
		p.RoundRect(box, 4, color_field, color_error);
		// Three quarters of a circle, clockwise from the top, and an arrow head
		// at its end pointing on.
		const double cx = x + s(9), cy = y + s(9), r = s(5);
		const double pi = 3.14159265358979323846;
		DrawOp arc = Op(DrawKind::Polyline, Rect(), color_error);
		for (int step = 0; step <= 12; step++) {
			const double angle = -pi / 2 + step * (1.5 * pi / 12);
			arc.points.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
		}
		arc.pen_width = s(2) * 0.75;
		p.ops.push_back(arc);
		const double end_x = cx - r, end_y = cy, head = s(3);
		glyph = Op(DrawKind::FillPolygon, Rect(), color_error);
		glyph.points = {{end_x - head, end_y + 1}, {end_x + head, end_y + 1}, {end_x, end_y - head}};
		break;
	}
	}
	p.ops.push_back(glyph);
}

} // namespace

DrawList PaintRow(const Panel &panel, int32_t row, const Rect &item)
{
	Painter p{{}, panel.state.dpi};
	if (row < 0 || row >= DestinationCount(panel))
		return {};
	const Destination &d = panel.controller.store.settings.destinations[static_cast<size_t>(row)];
	auto s = [&](int32_t v) {
		return Scale(v, p.dpi);
	};

	p.FillRect(item, color_card);
	const Rect card = {item.left + s(1), item.top + s(3), item.right - s(5), item.bottom - s(3)};
	const bool selected = row == panel.state.selected_index;
	p.RoundRect(card, 10, selected ? color_highlight : color_card, selected ? color_row_border : color_card);

	PaintTick(p, {card.left + s(9), card.top + s(18), card.left + s(27), card.top + s(36)}, d.enabled);
	const Rect action_box = RowActionBox(item, p.dpi);
	const RowView view = ViewRow(panel.controller, static_cast<size_t>(row));
	PaintRowAction(p, view.action, action_box);

	// The texts end before the action box.
	const int32_t texts_end = action_box.left - s(6);
	p.Text({card.left + s(40), card.top + s(8), texts_end, card.top + s(29)}, Utf8ToWide(d.name), color_text,
	       FontRole::Body, text_cut_line);
	// The picture, then the own quality, in short after the name.
	const std::string tags = view.picture.empty() || view.quality.empty()
					 ? view.picture + view.quality
					 : view.picture + " \xC2\xB7 " + view.quality;
	if (!tags.empty()) {
		DrawOp &name = p.ops.back();
		name.trailing = Utf8ToWide(tags);
		name.trailing_color = color_muted;
		name.trailing_font = FontRole::Small;
		name.trailing_gap = s(8);
	}
	const StatusLine &status = view.status;
	p.Text({card.left + s(40), card.top + s(32), texts_end, card.bottom - s(4)}, Utf8ToWide(status.text),
	       ToneColor(status.tone), FontRole::Small, text_cut_line);
	DrawOp &line = p.ops.back();
	line.trailing = Utf8ToWide(view.figure);
	line.trailing_color = color_muted;
	line.trailing_gap = s(8);
	return std::move(p.ops);
}

} // namespace torvane
