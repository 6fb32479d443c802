#include "tests/support/secrets.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace torvane::test {

void ExpectNoSecretsIn(const std::string &path, const PanelSettings &settings)
{
	std::ifstream file(path, std::ios::binary);
	ASSERT_TRUE(file) << "no " << path << " to look for secrets in";
	std::ostringstream text;
	text << file.rdbuf();
	for (const Destination &destination : settings.destinations) {
		for (const std::string *secret : {&destination.key, &destination.password}) {
			if (secret->empty())
				continue;
			EXPECT_EQ(text.str().find(*secret), std::string::npos)
				<< "the secret '" << *secret << "' of " << destination.name << " appears in " << path;
		}
	}
}

} // namespace torvane::test
