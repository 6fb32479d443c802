// data/locale/en-US.ini is the texts table written out, and OBS's own reader
// gives every English text back from it.
#include "settings/texts.h"

#include <gtest/gtest.h>
#include <util/text-lookup.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace torvane {

lookup_t *locale = nullptr;
int missing = 0;

TEST(Texts, LocaleFileIsTheTableAndObsReadsItBack)
{
	std::stringstream file;
	file << std::ifstream(TORVANE_LOCALE_FILE, std::ios::binary).rdbuf();
	EXPECT_TRUE(file.str() == EnglishLocaleFile()) << "cmake --build --preset linux --target locale writes it";

	std::vector<std::string> english;
	for (int id = 0; id < int(Txt::none); id++)
		english.push_back(Tr(Txt(id)));
	locale = text_lookup_create(TORVANE_LOCALE_FILE);
	ASSERT_NE(locale, nullptr);
	SetTextLookup([](const char *key, const char **text) {
		return text_lookup_getstr(locale, key, text) || (missing++, false);
	});
	for (int id = 0; id < int(Txt::none); id++)
		EXPECT_EQ(Tr(Txt(id)), english[size_t(id)]);
	EXPECT_EQ(missing, 0);
	SetTextLookup(nullptr);
	text_lookup_destroy(locale);
}

} // namespace torvane
