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
	ops.replace = [](FileHandle f, const std::u16string &from, const std::u16string &to) {
		if (kill_at == Step::before_replace)
			Die();
		return platform_file_ops.replace(f, from, to);
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

namespace {

// The two ends of a pipe, closed when they go out of scope.
struct Pipe {
	int ends[2] = {-1, -1};
	Pipe() { EXPECT_EQ(pipe(ends), 0); }
	~Pipe()
	{
		for (int end : ends)
			if (end >= 0)
				close(end);
	}
	void Close(int which)
	{
		close(ends[which]);
		ends[which] = -1;
	}
};

int ready_fd;
int go_fd;

// Each save tells the test it is about to create its temporary file, waits
// until both are there, and then writes in small, slow pieces, so that the
// two saves overlap for as long as they write.
FileOps RacingOps()
{
	FileOps ops = platform_file_ops;
	ops.create = [](const std::u16string &p) {
		char byte = 1;
		if (write(ready_fd, &byte, 1) != 1 || read(go_fd, &byte, 1) != 0)
			_exit(3);
		return platform_file_ops.create(p);
	};
	ops.write = [](FileHandle f, const uint8_t *data, size_t size) {
		for (size_t done = 0; done < size; done += 16384) {
			if (!platform_file_ops.write(f, data + done, std::min<size_t>(16384, size - done)))
				return false;
			usleep(200);
		}
		return true;
	};
	return ops;
}

int ExitCode(int status)
{
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

// Two OBS instances of one user saving at the same moment: whatever the
// timing, the file in place is one save's, whole, and at least one succeeds.
TEST(ConcurrentSaves, TheFileInPlaceAlwaysLoads)
{
	if (getenv("TORVANE_TEST_NO_KEYRING"))
		GTEST_SKIP() << "needs the keyring session of keyring-session.sh";
	TempDir dir;
	const fs::path file = dir.path / "settings.dpapi";
	const std::u16string path = Utf8ToWide(file.string());
	PanelSettings first = SettingsWithSecrets();
	first.destinations[0].key.assign(600000, 'a');
	PanelSettings second = DefaultSettings();
	second.destinations[0].key.assign(400000, 'b');
	ASSERT_EQ(ExitCode(SaveInChild(path, DefaultSettings(), platform_file_ops)), 0) << "makes the key";

	for (int round = 0; round < 20; round++) {
		SCOPED_TRACE("round " + std::to_string(round));
		Pipe ready;
		Pipe go;
		pid_t savers[2];
		for (int i = 0; i < 2; i++) {
			savers[i] = fork();
			if (savers[i] == 0) {
				ready_fd = ready.ends[1];
				go_fd = go.ends[0];
				close(go.ends[1]);
				std::string message;
				_exit(SaveSettingsFile(path, i ? second : first, message, RacingOps()) ? 0 : 2);
			}
		}
		ready.Close(1);
		char byte;
		for (int i = 0; i < 2; i++)
			EXPECT_EQ(read(ready.ends[0], &byte, 1), 1);
		go.Close(1); // both saves go on at once
		int succeeded = 0;
		for (pid_t saver : savers) {
			int status = 0;
			waitpid(saver, &status, 0);
			ASSERT_NE(ExitCode(status), 3);
			succeeded += ExitCode(status) == 0;
		}
		EXPECT_GE(succeeded, 1);

		// Only children talk to the keyring, so the next round forks cleanly.
		const pid_t loader = fork();
		if (loader == 0) {
			PanelSettings loaded;
			std::string message;
			if (!LoadSettingsFile(path, loaded, message))
				_exit(1);
			const std::string &key = loaded.destinations[0].key;
			_exit(key == first.destinations[0].key || key == second.destinations[0].key ? 0 : 2);
		}
		int status = 0;
		waitpid(loader, &status, 0);
		ASSERT_EQ(ExitCode(status), 0) << "1: the file does not load, 2: it holds neither save";
	}
}
