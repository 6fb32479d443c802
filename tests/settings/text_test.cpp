#include "settings/text.h"

#include <gtest/gtest.h>

using namespace torvane;

TEST(TextConversion, Utf8ToWideConvertsEveryPlaneAndRefusesAnyInvalidSequence)
{
	EXPECT_EQ(Utf8ToWide(""), u"");
	EXPECT_EQ(Utf8ToWide("rtmp://host/app"), u"rtmp://host/app");
	EXPECT_EQ(Utf8ToWide("caf\xC3\xA9 \xE9\x85\x8D \xF0\x9F\x8E\xA5"), u"caf\u00E9 \u914D \U0001F3A5");
	EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
	EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));

	const char *const invalid[] = {
		"ok\x80",            // stray continuation byte
		"\xC3",              // truncated two-byte sequence
		"\xE9\x85",          // truncated three-byte sequence
		"\xC0\x80",          // overlong NUL
		"\xE0\x80\xAF",      // overlong slash
		"\xF0\x80\x80\xAF",  // overlong four-byte
		"\xED\xA0\x80",      // encoded high surrogate
		"\xED\xBF\xBF",      // encoded low surrogate
		"\xF4\x90\x80\x80",  // above U+10FFFF
		"\xF5\x80\x80\x80",  // lead byte that never occurs
		"\xFF",              //
		"\xC3\x28",          // lead byte followed by a non-continuation
	};
	for (const char *text : invalid) {
		SCOPED_TRACE(::testing::PrintToString(std::string(text)));
		EXPECT_EQ(Utf8ToWide(std::string("valid prefix ") + text), u"");
	}
}

TEST(TextConversion, WideToUtf8ReplacesUnpairedSurrogatesAndRoundTrips)
{
	EXPECT_EQ(WideToUtf8(u""), "");
	EXPECT_EQ(WideToUtf8(u"caf\u00E9 \U0001F3A5"), "caf\xC3\xA9 \xF0\x9F\x8E\xA5");

	const std::string replacement = "\xEF\xBF\xBD";
	EXPECT_EQ(WideToUtf8(std::u16string(u"a") + char16_t(0xD83C) + u"b"), "a" + replacement + "b");
	EXPECT_EQ(WideToUtf8(std::u16string(u"a") + char16_t(0xD83C)), "a" + replacement);
	EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xDFA5))), replacement);
	// A low surrogate before its high one is two unpaired halves.
	EXPECT_EQ(WideToUtf8(std::u16string{char16_t(0xDFA5), char16_t(0xD83C)}), replacement + replacement);

	const std::string samples[] = {"C:\\Users\\J\xC3\xBCrgen\\AppData", "\xE9\x85\x8D\xE4\xBF\xA1",
				       "\xF0\x9F\x8E\xA5\xF0\x9F\x8E\xA5", std::string(1, '\x7F')};
	for (const std::string &sample : samples)
		EXPECT_EQ(WideToUtf8(Utf8ToWide(sample)), sample);
}
