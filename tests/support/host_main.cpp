// main() of the test programs that share one headless host among their tests.
#include "tests/support/host.h"
#include "tests/support/system.h"

namespace {

class HostEnvironment : public testing::Environment {
public:
	void SetUp() override
	{
		const std::vector<const char *> modules = torvane::test::HostModules();
		torvane::HostOptions options;
		options.modules.assign(modules.begin(), modules.end());
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
