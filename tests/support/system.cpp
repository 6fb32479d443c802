#include "tests/support/system.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

extern char **environ;

namespace fs = std::filesystem;

namespace torvane::test {
namespace {

std::vector<char *> ArgvPointers(const std::vector<std::string> &argv)
{
	std::vector<char *> pointers;
	for (const std::string &arg : argv)
		pointers.push_back(const_cast<char *>(arg.c_str()));
	pointers.push_back(nullptr);
	return pointers;
}

bool Reaped(pid_t pid, std::chrono::milliseconds timeout)
{
	return WaitFor(
		[pid] {
			pid_t r = waitpid(pid, nullptr, WNOHANG);
			return r == pid || (r < 0 && errno == ECHILD);
		},
		timeout);
}

sockaddr_in Loopback(uint16_t port)
{
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = htons(port);
	return address;
}

} // namespace

double TimeScale()
{
	const char *text = getenv("TORVANE_E2E_TIME_SCALE");
	double scale = text ? std::atof(text) : 1.0;
	return scale >= 1.0 ? scale : 1.0;
}

std::chrono::milliseconds Scaled(std::chrono::milliseconds duration)
{
	return std::chrono::milliseconds(static_cast<int64_t>(duration.count() * TimeScale()));
}

bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
	const auto deadline = std::chrono::steady_clock::now() + Scaled(timeout);
	while (!done()) {
		if (std::chrono::steady_clock::now() >= deadline)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	}
	return true;
}

uint16_t FreePort()
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = Loopback(0);
	socklen_t length = sizeof(address);
	uint16_t port = 0;
	if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
	    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
		port = ntohs(address.sin_port);
	if (fd >= 0)
		close(fd);
	return port;
}

bool PortAccepts(uint16_t port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = Loopback(port);
	bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
	if (fd >= 0)
		close(fd);
	return ok;
}

std::string TestWorkDir()
{
	const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
	std::string name =
		info ? std::string(info->test_suite_name()) + "." + info->name() : testing::GTEST_FLAG(filter);
	std::replace_if(
		name.begin(), name.end(), [](char c) { return c == '/' || c == '*' || c == ':'; }, '_');
	std::error_code ec;
	fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path() / "work" / name;
	fs::remove_all(dir, ec);
	fs::create_directories(dir, ec);
	return dir.string();
}

pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path)
{
	// Looked up before fork: the child of a process with libobs's threads may
	// only make async-signal-safe calls.
	std::string program = argv[0];
	std::istringstream path(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
	for (std::string dir; program.find('/') == std::string::npos && std::getline(path, dir, ':');) {
		if (access((dir + "/" + argv[0]).c_str(), X_OK) == 0)
			program = dir + "/" + argv[0];
	}
	std::vector<char *> args = ArgvPointers(argv);
	pid_t pid = fork();
	if (pid == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
		if (log >= 0) {
			dup2(log, 1);
			dup2(log, 2);
		}
		execv(program.c_str(), args.data());
		_exit(127);
	}
	return pid;
}

void StopChild(pid_t pid, int first, std::chrono::milliseconds grace)
{
	if (pid <= 0)
		return;
	kill(pid, SIGCONT);
	kill(pid, first);
	if (!Reaped(pid, grace)) {
		kill(pid, SIGKILL);
		Reaped(pid, std::chrono::milliseconds(5000));
	}
}

std::string RunCommand(const std::vector<std::string> &argv, int *status)
{
	int fds[2];
	if (pipe2(fds, O_CLOEXEC) != 0)
		return std::string();
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
	posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
	std::vector<char *> args = ArgvPointers(argv);
	pid_t pid = -1;
	int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	close(fds[1]);
	std::string output;
	char buffer[65536];
	ssize_t n;
	while (spawned == 0 && (n = read(fds[0], buffer, sizeof(buffer))) > 0)
		output.append(buffer, static_cast<size_t>(n));
	close(fds[0]);
	int result = -1;
	if (spawned == 0)
		waitpid(pid, &result, 0);
	if (status)
		*status = spawned == 0 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
	return output;
}

} // namespace torvane::test
