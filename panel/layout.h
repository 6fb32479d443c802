#pragma once

#include <cstdint>
#include "settings/texts.h"

// The panel's fixed layout: a 1000 x 748 client area written at 96 DPI and
// scaled once, by the panel DPI chosen when the window is created.
namespace torvane {

inline constexpr int32_t panel_width = 1000;
inline constexpr int32_t panel_height = 748;

// A rectangle by its edges.
struct Rect {
	int32_t left = 0;
	int32_t top = 0;
	int32_t right = 0;
	int32_t bottom = 0;

	int32_t Width() const { return right - left; }
	int32_t Height() const { return bottom - top; }
	bool operator==(const Rect &other) const
	{
		return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
	}
	bool operator!=(const Rect &other) const { return !(*this == other); }
};

// v x dpi / 96, rounded to the nearest integer with halves away from zero.
int32_t Scale(int32_t value, uint32_t dpi);

// A rectangle given as x, y, width, height at 96 DPI, scaled by its edges so
// that rectangles that touch at 96 DPI still touch after rounding.
Rect ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t dpi);

// Scales each of a rectangle's four edges by itself.
Rect ScaleEdges(const Rect &rect, uint32_t dpi);

// The DPI at which the whole panel fits a monitor's work area with room for the
// window frame, never above the host's DPI and never below 72.
uint32_t ChoosePanelDpi(uint32_t host_dpi, int32_t work_width, int32_t work_height);

// Control identifiers.
enum ControlId : int32_t {
	id_label = 0,
	id_list = 101,
	id_name = 102,
	id_server = 103,
	id_key = 104,
	id_username = 105,
	id_password = 106,
	id_bitrate = 107,
	id_show = 108,
	id_save = 109,
	id_start = 110,
	id_stop = 111,
	id_custom = 112,
	id_remove = 113,
	id_guide = 114,
	id_720p = 115,
	id_1080p = 116,
	id_30fps = 117,
	id_60fps = 118,
	id_coffee = 119,
	id_follow = 120,
	// The selected destination's own quality, then the shared quality's encoder.
	id_own = 121,
	id_own_720p = 122,
	id_own_1080p = 123,
	id_own_30fps = 124,
	id_own_60fps = 125,
	id_own_bitrate = 126,
	id_own_encoder = 127,
	id_encoder = 128,
	// The selected destination's picture.
	id_picture = 129,
	// The relay's menu.
	id_relay = 130,
};

enum class ControlKind { List, Button, Label, Field };

// One child control of the panel, in creation order, which is also the
// keyboard order.
struct ControlSpec {
	int32_t id;
	ControlKind kind;
	Txt caption;
	// The control's own rectangle at 96 DPI: x, y, width, height. For a field
	// this is the edit inside its painted frame.
	int32_t x, y, width, height;
	bool form; // enabled and disabled together with the form
	bool masked;
	int32_t max_length; // fields only
};

inline constexpr int32_t control_count = 35;
extern const ControlSpec panel_controls[control_count];

// The frame the panel paints around a field, at 96 DPI; always 38 high.
struct EditFrame {
	int32_t id;
	int32_t x, y, width;
};

inline constexpr int32_t edit_frame_height = 38;
inline constexpr int32_t edit_frame_count = 7;
extern const EditFrame edit_frames[edit_frame_count];

const ControlSpec *FindControl(int32_t id);
const EditFrame *FindEditFrame(int32_t id);

// A control's rectangle in device pixels: x, y, width and height each scaled.
Rect ControlRect(const ControlSpec &control, uint32_t dpi);

// A frame's rectangle in device pixels, scaled by its edges.
Rect EditFrameRect(const EditFrame &frame, uint32_t dpi);

// The list's tick strip and row height at 96 DPI.
inline constexpr int32_t tick_strip_width = 35;
// The strip at a row's right side that holds its action, as wide as the tick strip.
inline constexpr int32_t action_strip_width = 35;
inline constexpr int32_t row_height = 62;

// The live texts' rectangles at 96 DPI, by their edges. The painting draws each
// text in its own, cut off at its edges, and the live refresh repaints just that
// when the text changes.
inline constexpr Rect header_count_area = {781, 25, 969, 64};
inline constexpr Rect summary_area = {218, 621, 962, 641};
inline constexpr Rect upload_budget_area = {819, 584, 964, 612};
inline constexpr Rect status_area = {369, 672, 792, 715};

} // namespace torvane
