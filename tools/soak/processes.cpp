#include "tools/soak/processes.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char **environ;

namespace torvane::soak {
namespace {

int CountEntries(const char *path)
{
	DIR *dir = opendir(path);
	if (!dir)
		return -1;
	int count = 0;
	while (dirent *entry = readdir(dir))
		count += entry->d_name[0] != '.';
	closedir(dir);
	return count;
}

} // namespace

pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path)
{
	std::vector<char *> args;
	for (const std::string &arg : argv)
		args.push_back(const_cast<char *>(arg.c_str()));
	args.push_back(nullptr);
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
	posix_spawn_file_actions_adddup2(&actions, 1, 2);
	posix_spawn_file_actions_addclosefrom_np(&actions, 3);
	pid_t pid = -1;
	if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
		pid = -1;
	posix_spawn_file_actions_destroy(&actions);
	return pid;
}

int RunCommand(const std::vector<std::string> &argv, const std::string &log_path)
{
	pid_t pid = Spawn(argv, log_path);
	int status = 0;
	if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
		return -1;
	return WEXITSTATUS(status);
}

void EndProcess(pid_t pid, int signal, double grace_seconds)
{
	if (pid <= 0)
		return;
	kill(pid, SIGCONT);
	kill(pid, signal);
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(grace_seconds);
	while (waitpid(pid, nullptr, WNOHANG) == 0) {
		if (std::chrono::steady_clock::now() >= deadline) {
			kill(pid, SIGKILL);
			waitpid(pid, nullptr, 0);
			return;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
}

bool WaitPort(int port, double seconds)
{
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
	do {
		int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		sockaddr_in address = {};
		address.sin_family = AF_INET;
		address.sin_port = htons(static_cast<uint16_t>(port));
		address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		bool open = connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
		close(probe);
		if (open)
			return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
	} while (std::chrono::steady_clock::now() < deadline);
	return false;
}

bool StartServer(Server &server)
{
	server.pid =
		Spawn({"nginx", "-p", server.dir, "-c", server.dir + "/nginx.conf", "-e", server.dir + "/error.log"},
		      server.dir + "/nginx.out");
	return server.pid > 0;
}

Footprint MeasureFootprint()
{
	Footprint footprint;
	std::ifstream status("/proc/self/status");
	std::string line;
	while (std::getline(status, line)) {
		if (line.rfind("VmRSS:", 0) == 0)
			footprint.resident_kib = std::atol(line.c_str() + 6);
	}
	footprint.threads = CountEntries("/proc/self/task");
	footprint.descriptors = CountEntries("/proc/self/fd") - 1; // less the one reading the folder
	return footprint;
}

} // namespace torvane::soak
