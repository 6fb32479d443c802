#include "panel/layout.h"

#include <algorithm>

namespace torvane {

int32_t Scale(int32_t value, uint32_t dpi)
{
	const int64_t product = static_cast<int64_t>(value) * dpi;
	const int64_t half = 48;
	return static_cast<int32_t>(product >= 0 ? (product + half) / 96 : -((-product + half) / 96));
}

Rect ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t dpi)
{
	return {Scale(x, dpi), Scale(y, dpi), Scale(x + width, dpi), Scale(y + height, dpi)};
}

Rect ScaleEdges(const Rect &rect, uint32_t dpi)
{
	return {Scale(rect.left, dpi), Scale(rect.top, dpi), Scale(rect.right, dpi), Scale(rect.bottom, dpi)};
}

uint32_t ChoosePanelDpi(uint32_t host_dpi, int32_t work_width, int32_t work_height)
{
	const int32_t fit_width = std::max<int32_t>(72, (work_width - 40) * 96 / panel_width);
	const int32_t fit_height = std::max<int32_t>(72, (work_height - 70) * 96 / panel_height);
	return std::min<uint32_t>({host_dpi, static_cast<uint32_t>(fit_width), static_cast<uint32_t>(fit_height)});
}

const ControlSpec panel_controls[control_count] = {
	{id_list, ControlKind::List, "Destinations", 32, 184, 278, 264, false, false, 0},
	{id_follow, ControlKind::Button, "Go live with OBS's Start Streaming", 400, 64, 300, 28, true, false, 0},
	{id_custom, ControlKind::Button, "+ Custom", 37, 469, 153, 36, true, false, 0},
	{id_remove, ControlKind::Button, "Remove", 201, 469, 102, 36, true, false, 0},
	{id_guide, ControlKind::Button, "Setup guide \xE2\x86\x97", 807, 120, 151, 32, true, false, 0},
	{id_label, ControlKind::Label, "Destination name", 358, 162, 580, 20, false, false, 0},
	{id_name, ControlKind::Field, "", 369, 191, 578, 21, true, false, 100},
	{id_label, ControlKind::Label, "Server URL", 358, 226, 580, 20, false, false, 0},
	{id_server, ControlKind::Field, "", 369, 255, 578, 21, true, false, 4096},
	{id_label, ControlKind::Label, "Stream key", 358, 290, 580, 20, false, false, 0},
	{id_key, ControlKind::Field, "", 369, 319, 486, 21, true, true, 4096},
	{id_show, ControlKind::Button, "Show", 876, 310, 82, 38, true, false, 0},
	{id_label, ControlKind::Label, "Username", 358, 417, 280, 20, false, false, 0},
	{id_username, ControlKind::Field, "", 369, 447, 268, 21, true, false, 4096},
	{id_label, ControlKind::Label, "Password", 668, 417, 280, 20, false, false, 0},
	{id_password, ControlKind::Field, "", 679, 447, 268, 21, true, true, 4096},
	{id_720p, ControlKind::Button, "720p", 218, 578, 92, 36, true, false, 0},
	{id_1080p, ControlKind::Button, "1080p", 316, 578, 100, 36, true, false, 0},
	{id_30fps, ControlKind::Button, "30 fps", 448, 578, 88, 36, true, false, 0},
	{id_60fps, ControlKind::Button, "60 fps", 542, 578, 88, 36, true, false, 0},
	{id_bitrate, ControlKind::Field, "", 669, 585, 109, 21, true, false, 4096},
	{id_start, ControlKind::Button, "Start all", 20, 671, 194, 43, false, false, 0},
	{id_stop, ControlKind::Button, "Stop all", 228, 671, 123, 43, false, false, 0},
	{id_save, ControlKind::Button, "Save settings", 816, 671, 164, 43, true, false, 0},
	{id_coffee, ControlKind::Button, "Buy me a coffee (opens browser)", 790, 720, 190, 31, false, false, 0},
};

const EditFrame edit_frames[edit_frame_count] = {
	{id_name, 358, 182, 600},     {id_server, 358, 246, 600},   {id_key, 358, 310, 508},
	{id_username, 358, 438, 290}, {id_password, 668, 438, 290}, {id_bitrate, 658, 576, 131},
};

const ControlSpec *FindControl(int32_t id)
{
	for (const ControlSpec &control : panel_controls)
		if (control.id == id && control.kind != ControlKind::Label)
			return &control;
	return nullptr;
}

const EditFrame *FindEditFrame(int32_t id)
{
	for (const EditFrame &frame : edit_frames)
		if (frame.id == id)
			return &frame;
	return nullptr;
}

Rect ControlRect(const ControlSpec &control, uint32_t dpi)
{
	const int32_t x = Scale(control.x, dpi);
	const int32_t y = Scale(control.y, dpi);
	return {x, y, x + Scale(control.width, dpi), y + Scale(control.height, dpi)};
}

Rect EditFrameRect(const EditFrame &frame, uint32_t dpi)
{
	return ScaleRect(frame.x, frame.y, frame.width, edit_frame_height, dpi);
}

} // namespace torvane
