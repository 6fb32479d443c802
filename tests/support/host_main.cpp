// main() of the test programs that share one headless host among their tests.
// Each program names the stock modules its host loads (TORVANE_TEST_HOST_MODULES),
// so that one can leave some out.
#include "tests/support/host.h"
#include "tests/support/system.h"

#include <sstream>

namespace {

class HostEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		torvane::HostOptions options;
		options.modules.clear();
		std::istringstream names(TORVANE_TEST_HOST_MODULES);
		for (std::string name; names >> name;)
			options.modules.push_back(name);
		ASSERT_TRUE(torvane::test::StartTestHost(torvane::test::TestWorkDir(), options));
	}
	void TearDown() override { torvane::StopHeadlessHost(); }
};

} // namespace

int main(int argc, char **argv)
{
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new HostEnvironment);
	return RUN_ALL_TESTS();
}
