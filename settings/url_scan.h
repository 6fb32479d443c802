#pragma once

#include <cstddef>
#include <string_view>

// Pieces of the hand-written URL scanners of validation and Kick completion.
// They walk the text once and never backtrack, so loaded values of any length
// are matched in linear time and constant stack.
namespace torvane {

inline bool IsAsciiDigit(char c)
{
	return c >= '0' && c <= '9';
}

// At `i`: an optional ":" and one to five digits, as "(:[0-9]{1,5})?" matches.
// Moves `i` past it; false for a ":" without a digit. A sixth digit is left
// where it is for what follows the port to reject.
inline bool SkipOptionalPort(std::string_view s, size_t &i)
{
	if (i >= s.size() || s[i] != ':')
		return true;
	size_t digits = 0;
	while (digits < 5 && i + 1 + digits < s.size() && IsAsciiDigit(s[i + 1 + digits]))
		digits++;
	if (digits == 0)
		return false;
	i += 1 + digits;
	return true;
}

} // namespace torvane
