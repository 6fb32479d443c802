#pragma once

#include "control/status.h"

#include <cstdint>

// The panel's colours and fonts. Each toolkit turns a colour into its own kind
// in one place (ToColorref on Windows, ToQColor with Qt).
namespace torvane {

// An opaque colour by its red, green and blue parts.
struct Color {
	uint8_t r = 0;
	uint8_t g = 0;
	uint8_t b = 0;

	constexpr bool operator==(const Color &other) const { return r == other.r && g == other.g && b == other.b; }
	constexpr bool operator!=(const Color &other) const { return !(*this == other); }
};

inline constexpr Color color_window = {0x0A, 0x11, 0x1C};
inline constexpr Color color_field = {0x0B, 0x15, 0x23};
inline constexpr Color color_card = {0x12, 0x1D, 0x2C};
inline constexpr Color color_border = {0x28, 0x3A, 0x4F};
inline constexpr Color color_highlight = {0x1A, 0x34, 0x4D};
inline constexpr Color color_row_border = {0x43, 0x74, 0x9B};
inline constexpr Color color_box_border = {0x4B, 0x60, 0x77};
inline constexpr Color color_hover = {0x22, 0x39, 0x50};
inline constexpr Color color_pressed = {0x2A, 0x4A, 0x68};
inline constexpr Color color_disabled = {0x15, 0x1F, 0x2B};
inline constexpr Color color_accent = {0x84, 0xCC, 0xFF};
inline constexpr Color color_accent_hover = {0xA9, 0xDC, 0xFF};
inline constexpr Color color_accent_pressed = {0x64, 0xB2, 0xEA};
inline constexpr Color color_text = {0xED, 0xF5, 0xFF};
inline constexpr Color color_muted = {0x92, 0xA5, 0xBC};
inline constexpr Color color_disabled_text = {0x69, 0x7B, 0x8F};
inline constexpr Color color_error = {0xFF, 0x9B, 0x9B};

// The colour a view gives each tone of a live text.
inline constexpr Color ToneColor(Tone tone)
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
