#pragma once

// Input generators shared by the tests that compare a hand-written matcher with
// the regular expression it stands for.
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace torvane_testing {

// The text with every byte outside printable ASCII written as \xNN.
inline std::string Printable(const std::string &text)
{
	std::string out;
	for (unsigned char c : text) {
		if (c >= 0x20 && c < 0x7f) {
			out += static_cast<char>(c);
		} else {
			char hex[8];
			std::snprintf(hex, sizeof(hex), "\\x%02X", c);
			out += hex;
		}
	}
	return out;
}

// Calls `check` with `prefix` and with `prefix` followed by every sequence of
// one to `max_length` pieces of `alphabet`.
inline void ForEachTail(const std::string &prefix, const std::vector<std::string> &alphabet, int max_length,
			const std::function<void(const std::string &)> &check)
{
	check(prefix);
	std::vector<std::string> tails = {""};
	for (int length = 1; length <= max_length; length++) {
		std::vector<std::string> longer;
		for (const std::string &tail : tails)
			for (const std::string &piece : alphabet)
				longer.push_back(tail + piece);
		for (const std::string &tail : longer)
			check(prefix + tail);
		tails = std::move(longer);
	}
}

// Calls `check` `count` times with texts of zero to `max_parts` tokens drawn
// from `tokens` by a generator seeded with `seed`, so every run sees the same.
inline void ForEachTokenSequence(const std::vector<std::string> &tokens, unsigned seed, size_t max_parts, int count,
				 const std::function<void(const std::string &)> &check)
{
	std::mt19937 random(seed);
	std::uniform_int_distribution<size_t> parts(0, max_parts);
	std::uniform_int_distribution<size_t> pick(0, tokens.size() - 1);
	for (int n = 0; n < count; n++) {
		std::string text;
		const size_t length = parts(random);
		for (size_t i = 0; i < length; i++)
			text += tokens[pick(random)];
		check(text);
	}
}

} // namespace torvane_testing
