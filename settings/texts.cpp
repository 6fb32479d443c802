#include "settings/texts.h"

#include "settings/utf8.h"

#include <atomic>

namespace torvane {

namespace {

struct Entry {
	const char *key;
	const char *english;
};

const Entry entries[] = {
#define TORVANE_TEXT_ENTRY(key, english) {#key, english},
	TORVANE_TEXTS(TORVANE_TEXT_ENTRY)
#undef TORVANE_TEXT_ENTRY
};

std::atomic<TextLookup> installed_lookup{nullptr};

} // namespace

const char *Tr(Txt id)
{
	if (id == Txt::none)
		return "";
	const Entry &entry = entries[static_cast<size_t>(id)];
	const char *text = nullptr;
	const TextLookup lookup = installed_lookup.load();
	return lookup && lookup(entry.key, &text) && text ? text : entry.english;
}

std::u16string Tr16(Txt id)
{
	return Utf8ToWide(Tr(id));
}

std::string Tr(Txt id, std::initializer_list<std::string> values)
{
	const std::string pattern = Tr(id);
	std::string text;
	for (size_t i = 0; i < pattern.size(); i++) {
		const size_t n = i + 1 < pattern.size() ? size_t(pattern[i + 1] - '1') : values.size();
		if (pattern[i] == '%' && n < values.size())
			text += values.begin()[n], i++;
		else
			text += pattern[i];
	}
	return text;
}

void SetTextLookup(TextLookup lookup)
{
	installed_lookup.store(lookup);
}

// OBS reads a value between quotes with \n for a line break and \" for a quote.
std::string EnglishLocaleFile()
{
	std::string file;
	for (const Entry &entry : entries) {
		file += std::string(entry.key) + "=\"";
		for (const char *c = entry.english; *c; c++)
			file += *c == '\n' ? std::string("\\n") : *c == '"' ? std::string("\\\"") : std::string(1, *c);
		file += "\"\n";
	}
	return file;
}

} // namespace torvane
