#include "tests/support/system.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

extern char **environ;

namespace torvane::test {
namespace {

// posix_spawn: no fork of a process that runs libobs's threads. The child's
// standard output goes to `out`, its errors to `err`.
pid_t SpawnTo(std::vector<std::string> argv, int out, int err)
{
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, out, 1);
	posix_spawn_file_actions_adddup2(&actions, err, 2);
	std::vector<char *> args;
	for (std::string &arg : argv)
		args.push_back(arg.data());
	args.push_back(nullptr);
	pid_t pid = -1;
	if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
		pid = -1;
	posix_spawn_file_actions_destroy(&actions);
	return pid;
}

// Connects to the port, or with port 0 binds a free one; returns the port.
uint16_t Loopback(uint16_t port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = htons(port);
	socklen_t length = sizeof(address);
	auto *any = reinterpret_cast<sockaddr *>(&address);
	const bool ok =
		port ? connect(fd, any, length) == 0 : bind(fd, any, length) == 0 && getsockname(fd, any, &length) == 0;
	close(fd);
	return ok ? ntohs(address.sin_port) : 0;
}

} // namespace

double TimeScale()
{
	const char *text = getenv("TORVANE_E2E_TIME_SCALE");
	return std::max(text ? std::atof(text) : 1.0, 1.0);
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
	return Loopback(0);
}

bool PortAccepts(uint16_t port)
{
	return Loopback(port) != 0;
}

std::string TestWorkDir()
{
	const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
	std::string name =
		info ? std::string(info->test_suite_name()) + "." + info->name() : testing::GTEST_FLAG(filter);
	std::replace_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '*' || c == ':'; }, '_');
	std::error_code ec;
	auto dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "work" / name;
	std::filesystem::remove_all(dir, ec);
	std::filesystem::create_directories(dir, ec);
	return dir.string();
}

pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path)
{
	std::vector<std::string> args = {"setpriv", "--pdeathsig", "KILL", "--"};
	args.insert(args.end(), argv.begin(), argv.end());
	int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
	pid_t pid = SpawnTo(args, log, log);
	close(log);
	return pid;
}

void StopChild(pid_t pid, int first)
{
	if (pid <= 0)
		return;
	kill(pid, SIGCONT);
	kill(pid, first);
	if (!WaitFor([pid] { return waitpid(pid, nullptr, WNOHANG) != 0; }, std::chrono::seconds(5))) {
		kill(pid, SIGKILL);
		waitpid(pid, nullptr, 0);
	}
}

std::string RunCommand(const std::vector<std::string> &argv, int *status)
{
	int fds[2] = {-1, -1};
	int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
	pid_t pid = pipe2(fds, O_CLOEXEC) == 0 ? SpawnTo(argv, fds[1], null) : -1;
	close(null);
	close(fds[1]);
	std::string output;
	char buffer[65536];
	for (ssize_t n; pid > 0 && (n = read(fds[0], buffer, sizeof(buffer))) > 0;)
		output.append(buffer, static_cast<size_t>(n));
	close(fds[0]);
	int result = -1;
	if (pid > 0)
		waitpid(pid, &result, 0);
	if (status)
		*status = pid > 0 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
	return output;
}

} // namespace torvane::test
