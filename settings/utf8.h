#pragma once

#include <string>

// Conversions between the model's UTF-8 and the UTF-16 of the panel's edit
// controls and of Windows paths. UTF-16 is held as std::u16string on every
// platform; on Windows its code units are those of wchar_t.
namespace torvane {

// Decodes the UTF-8 sequence at `pos` into `out` and moves `pos` past it.
// False, with `pos` left as it was, for every sequence that the Unicode
// standard calls ill-formed.
bool DecodeUtf8(const std::string &text, size_t &pos, char32_t &out);

// Strict: any invalid UTF-8 sequence (stray continuation byte, truncated or
// overlong sequence, encoded surrogate, value above U+10FFFF) gives empty text.
std::u16string Utf8ToWide(const std::string &text);

// Lenient: never fails on non-empty input; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::u16string &text);

} // namespace torvane
