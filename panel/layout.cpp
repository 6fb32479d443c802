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
	{id_list, ControlKind::List, Txt::Destinations, 32, 184, 278, 264, false, false, 0},
	{id_follow, ControlKind::Button, Txt::FollowObs, 400, 64, 300, 28, true, false, 0},
	{id_relay, ControlKind::Button, Txt::RelayThrough, 400, 30, 300, 28, true, false, 0},
	{id_custom, ControlKind::Button, Txt::AddCustom, 37, 469, 153, 36, true, false, 0},
	{id_remove, ControlKind::Button, Txt::Remove, 201, 469, 102, 36, true, false, 0},
	{id_picture, ControlKind::Button, Txt::none, 596, 120, 200, 32, true, false, 0},
	{id_guide, ControlKind::Button, Txt::SetupGuide, 807, 120, 151, 32, true, false, 0},
	{id_label, ControlKind::Label, Txt::DestinationName, 358, 156, 580, 20, false, false, 0},
	{id_name, ControlKind::Field, Txt::none, 369, 185, 578, 21, true, false, 100},
	{id_label, ControlKind::Label, Txt::ServerUrl, 358, 216, 580, 20, false, false, 0},
	{id_server, ControlKind::Field, Txt::none, 369, 245, 578, 21, true, false, 4096},
	{id_label, ControlKind::Label, Txt::StreamKey, 358, 276, 580, 20, false, false, 0},
	{id_key, ControlKind::Field, Txt::none, 369, 305, 486, 21, true, true, 4096},
	{id_show, ControlKind::Button, Txt::Show, 876, 296, 82, 38, true, false, 0},
	{id_own, ControlKind::Button, Txt::OwnQuality, 354, 365, 126, 32, true, false, 0},
	{id_own_720p, ControlKind::Button, Txt::Quality720p, 484, 363, 62, 36, true, false, 0},
	{id_own_1080p, ControlKind::Button, Txt::Quality1080p, 550, 363, 72, 36, true, false, 0},
	{id_own_30fps, ControlKind::Button, Txt::Rate30, 632, 363, 66, 36, true, false, 0},
	{id_own_60fps, ControlKind::Button, Txt::Rate60, 702, 363, 66, 36, true, false, 0},
	{id_own_bitrate, ControlKind::Field, Txt::none, 789, 371, 48, 21, true, false, 4096},
	{id_own_encoder, ControlKind::Button, Txt::none, 856, 363, 102, 36, true, false, 0},
	{id_label, ControlKind::Label, Txt::Username, 358, 428, 280, 20, false, false, 0},
	{id_username, ControlKind::Field, Txt::none, 369, 457, 268, 21, true, false, 4096},
	{id_label, ControlKind::Label, Txt::Password, 668, 428, 280, 20, false, false, 0},
	{id_password, ControlKind::Field, Txt::none, 679, 457, 268, 21, true, true, 4096},
	{id_720p, ControlKind::Button, Txt::Quality720p, 218, 578, 66, 36, true, false, 0},
	{id_1080p, ControlKind::Button, Txt::Quality1080p, 288, 578, 78, 36, true, false, 0},
	{id_30fps, ControlKind::Button, Txt::Rate30, 378, 578, 70, 36, true, false, 0},
	{id_60fps, ControlKind::Button, Txt::Rate60, 452, 578, 70, 36, true, false, 0},
	{id_bitrate, ControlKind::Field, Txt::none, 545, 585, 70, 21, true, false, 4096},
	{id_encoder, ControlKind::Button, Txt::none, 638, 578, 170, 36, true, false, 0},
	{id_start, ControlKind::Button, Txt::StartAll, 20, 671, 194, 43, false, false, 0},
	{id_stop, ControlKind::Button, Txt::StopAll, 228, 671, 123, 43, false, false, 0},
	{id_save, ControlKind::Button, Txt::SaveSettings, 816, 671, 164, 43, true, false, 0},
	{id_coffee, ControlKind::Button, Txt::Coffee, 790, 720, 190, 31, false, false, 0},
};

const EditFrame edit_frames[edit_frame_count] = {
	{id_name, 358, 176, 600},       {id_server, 358, 236, 600},   {id_key, 358, 296, 508},
	{id_own_bitrate, 778, 362, 70}, {id_username, 358, 448, 290}, {id_password, 668, 448, 290},
	{id_bitrate, 534, 576, 92},
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
