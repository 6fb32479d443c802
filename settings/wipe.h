#pragma once

#include <cstddef>
#include <string>

// Clearing memory that held settings in clear: stream keys, passwords and the
// settings document.
namespace torvane {

// Overwrites `size` bytes with zeros; never optimised away, even right before
// the memory is freed.
void WipeBytes(void *data, size_t size);

inline void WipeText(std::string &text)
{
	WipeBytes(text.data(), text.size());
	text.clear();
}

} // namespace torvane
