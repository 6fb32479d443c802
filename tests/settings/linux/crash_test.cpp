// A save killed at each of its steps, in a child process that dies with
// SIGKILL: no clean-up runs, the temporary file stays as far as it got.
#include "settings/store.h"
#include "settings/text.h"
#include "../settings_testing.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace torvane;
using namespace torvane_testing;
namespace fs = std::filesystem;

namespace {

enum class Step { after_create, mid_magic, mid_blob, before_flush, before_replace };
Step kill_at;
int writes;

[[noreturn]] void Die()
{
	raise(SIGKILL);
	_exit(1);
}

FileOps KillingOps()
{
	FileOps ops = platform_file_ops;
	writes = 0;
	ops.create = [](const std::u16string &p) {
		const FileHandle f = platform_file_ops.create(p);
		if (kill_at == Step::after_create)
			Die();
		return f;
	};
	ops.write = [](FileHandle f, const uint8_t *data, size_t size) {
		const Step step = writes++ == 0 ? Step::mid_magic : Step::mid_blob;
		if (step == kill_at) {
			platform_file_ops.write(f, data, size / 2);
			Die();
		}
		return platform_file_ops.write(f, data, size);
	};
	ops.flush = [](FileHandle f) {
		if (kill_at == Step::before_flush)
			Die();
		return platform_file_ops.flush(f);
	};
	ops.replace = [](const std::u16string &from, const std::u16string &to) {
		if (kill_at == Step::before_replace)
			Die();
		return platform_file_ops.replace(from, to);
	};
	return ops;
}

// Runs a save in a child process and returns how the child ended. Only
// children talk to the keyring until the end of the test, so no process forks
// with the keyring's D-Bus connection open.
int SaveInChild(const std::u16string &path, const PanelSettings &settings, const FileOps &ops)
{
	const pid_t child = fork();
	if (child == 0) {
		std::string message;
		_exit(SaveSettingsFile(path, settings, message, ops) ? 0 : 2);
	}
	int status = 0;
	waitpid(child, &status, 0);
	return status;
}

} // namespace

TEST(KilledSave, ThePreviousFileSurvivesAProcessKilledAtEachStep)
{
	if (getenv("TORVANE_TEST_NO_KEYRING"))
		GTEST_SKIP() << "needs the keyring session of keyring-session.sh";
	TempDir dir;
	const fs::path file = dir.path / "settings.dpapi";
	const std::u16string path = Utf8ToWide(file.string());
	const fs::path temporary = file.string() + ".tmp";
	PanelSettings after = DefaultSettings();
	after.bitrate = 2000;

	const std::pair<Step, const char *> steps[] = {{Step::after_create, "after create"},
						       {Step::mid_magic, "in the magic"},
						       {Step::mid_blob, "in the blob"},
						       {Step::before_flush, "before flush"},
						       {Step::before_replace, "before replace"}};
	std::vector<uint8_t> previous;
	for (const auto &[step, name] : steps) {
		SCOPED_TRACE(name);
		const int saved = SaveInChild(path, SettingsWithSecrets(), platform_file_ops);
		ASSERT_TRUE(WIFEXITED(saved) && WEXITSTATUS(saved) == 0);
		previous = ReadBytes(file);

		kill_at = step;
		const int killed = SaveInChild(path, after, KillingOps());
		ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL);
		EXPECT_EQ(ReadBytes(file), previous);
		EXPECT_TRUE(fs::exists(temporary)) << "the kill left the temporary file";
	}

	const int saved = SaveInChild(path, after, platform_file_ops);
	ASSERT_TRUE(WIFEXITED(saved) && WEXITSTATUS(saved) == 0);
	EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"settings.dpapi"});
	PanelSettings loaded;
	std::string message;
	ASSERT_TRUE(LoadSettingsFile(path, loaded, message)) << message;
	ExpectSameSettings(loaded, after);

	// And what the last kill left in place still opens.
	WriteBytes(file, previous);
	ASSERT_TRUE(LoadSettingsFile(path, loaded, message)) << message;
	ExpectSameSettings(loaded, SettingsWithSecrets());
}
