#pragma once

#include "control/status.h"

#include <cstdint>

// The panel's colours (as COLORREF values, 0x00BBGGRR) and fonts.
namespace torvane {

inline constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b)
{
	return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

inline constexpr uint32_t color_window = Rgb(0x0A, 0x11, 0x1C);
inline constexpr uint32_t color_field = Rgb(0x0B, 0x15, 0x23);
inline constexpr uint32_t color_card = Rgb(0x12, 0x1D, 0x2C);
inline constexpr uint32_t color_border = Rgb(0x28, 0x3A, 0x4F);
inline constexpr uint32_t color_highlight = Rgb(0x1A, 0x34, 0x4D);
inline constexpr uint32_t color_row_border = Rgb(0x43, 0x74, 0x9B);
inline constexpr uint32_t color_box_border = Rgb(0x4B, 0x60, 0x77);
inline constexpr uint32_t color_hover = Rgb(0x22, 0x39, 0x50);
inline constexpr uint32_t color_pressed = Rgb(0x2A, 0x4A, 0x68);
inline constexpr uint32_t color_disabled = Rgb(0x15, 0x1F, 0x2B);
inline constexpr uint32_t color_accent = Rgb(0x84, 0xCC, 0xFF);
inline constexpr uint32_t color_accent_hover = Rgb(0xA9, 0xDC, 0xFF);
inline constexpr uint32_t color_accent_pressed = Rgb(0x64, 0xB2, 0xEA);
inline constexpr uint32_t color_text = Rgb(0xED, 0xF5, 0xFF);
inline constexpr uint32_t color_muted = Rgb(0x92, 0xA5, 0xBC);
inline constexpr uint32_t color_disabled_text = Rgb(0x69, 0x7B, 0x8F);
inline constexpr uint32_t color_error = Rgb(0xFF, 0x9B, 0x9B);

// The colour a view gives each tone of a live text.
inline constexpr uint32_t ToneColor(Tone tone)
{
	return tone == Tone::Error ? color_error : tone == Tone::Accent ? color_accent : color_muted;
}

enum class FontRole { Body, Title, Small, Heading };

struct FontSpec {
	const char *face;
	int32_t pixels; // character height at 96 DPI
	int32_t weight; // 400 regular, 600 semibold
};

inline constexpr const char *font_face = "Segoe UI";

inline constexpr FontSpec FontFor(FontRole role)
{
	switch (role) {
	case FontRole::Title:
		return {font_face, 34, 600};
	case FontRole::Small:
		return {font_face, 12, 400};
	case FontRole::Heading:
		return {font_face, 17, 600};
	case FontRole::Body:
	default:
		return {font_face, 15, 400};
	}
}

} // namespace torvane
