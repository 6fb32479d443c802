// Writes the texts table as OBS's locale file: `cmake --build --preset linux
// --target locale` refreshes data/locale/en-US.ini after a text changed.
#include "settings/texts.h"

#include <cstdio>

int main(int argc, char **argv)
{
	FILE *file = argc == 2 ? fopen(argv[1], "wb") : nullptr;
	if (!file)
		return 2;
	const std::string text = torvane::EnglishLocaleFile();
	const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
	return fclose(file) == 0 && written ? 0 : 1;
}
