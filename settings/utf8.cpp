#include "settings/utf8.h"

#include <cstdint>

namespace torvane {

bool DecodeUtf8(const std::string &text, size_t &pos, char32_t &out)
{
	const auto byte = [&](size_t i) {
		return static_cast<uint8_t>(text[i]);
	};
	const uint8_t lead = byte(pos);
	size_t length;
	char32_t value;
	char32_t minimum;
	if (lead < 0x80) {
		out = lead;
		pos++;
		return true;
	} else if (lead >= 0xC2 && lead <= 0xDF) {
		length = 2;
		value = lead & 0x1F;
		minimum = 0x80;
	} else if (lead >= 0xE0 && lead <= 0xEF) {
		length = 3;
		value = lead & 0x0F;
		minimum = 0x800;
	} else if (lead >= 0xF0 && lead <= 0xF4) {
		length = 4;
		value = lead & 0x07;
		minimum = 0x10000;
	} else {
		return false; // continuation byte, C0/C1 overlong lead or F5..FF
	}
	if (text.size() - pos < length)
		return false;
	for (size_t i = 1; i < length; i++) {
		const uint8_t next = byte(pos + i);
		if ((next & 0xC0) != 0x80)
			return false;
		value = (value << 6) | (next & 0x3F);
	}
	if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
		return false;
	out = value;
	pos += length;
	return true;
}

std::u16string Utf8ToWide(const std::string &text)
{
	std::u16string result;
	result.reserve(text.size());
	size_t pos = 0;
	while (pos < text.size()) {
		char32_t c;
		if (!DecodeUtf8(text, pos, c))
			return std::u16string();
		if (c < 0x10000) {
			result.push_back(static_cast<char16_t>(c));
		} else {
			c -= 0x10000;
			result.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
			result.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
		}
	}
	return result;
}

static void AppendUtf8(std::string &out, char32_t c)
{
	if (c < 0x80) {
		out.push_back(static_cast<char>(c));
	} else if (c < 0x800) {
		out.push_back(static_cast<char>(0xC0 | (c >> 6)));
		out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
	} else if (c < 0x10000) {
		out.push_back(static_cast<char>(0xE0 | (c >> 12)));
		out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
		out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
	} else {
		out.push_back(static_cast<char>(0xF0 | (c >> 18)));
		out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
		out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
		out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
	}
}

std::string WideToUtf8(const std::u16string &text)
{
	std::string result;
	result.reserve(text.size());
	for (size_t i = 0; i < text.size(); i++) {
		const char16_t unit = text[i];
		if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
		    text[i + 1] <= 0xDFFF) {
			const char32_t high = unit - 0xD800;
			const char32_t low = text[i + 1] - 0xDC00;
			AppendUtf8(result, 0x10000 + (high << 10) + low);
			i++;
		} else if (unit >= 0xD800 && unit <= 0xDFFF) {
			AppendUtf8(result, 0xFFFD);
		} else {
			AppendUtf8(result, unit);
		}
	}
	return result;
}

} // namespace torvane
