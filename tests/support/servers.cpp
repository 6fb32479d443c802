#include "tests/support/servers.h"

#include "tests/support/system.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace torvane::test {
namespace {

// Runs one function of the shell library.
bool Shell(const std::vector<std::string> &call)
{
	std::vector<std::string> argv = {"bash", "-c", "source " TORVANE_TEST_LIB " && \"$@\"", "bash"};
	argv.insert(argv.end(), call.begin(), call.end());
	int status = -1;
	RunCommand(argv, &status);
	return status == 0;
}

pid_t StartNginx(const std::string &dir, uint16_t port)
{
	pid_t pid =
		Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, dir + "/nginx.out");
	bool exited = false;
	auto up = [&] {
		exited = waitpid(pid, nullptr, WNOHANG) == pid;
		return exited || PortAccepts(port);
	};
	if (pid > 0 && WaitFor(up, std::chrono::seconds(5)) && !exited)
		return pid;
	if (!exited)
		StopChild(pid);
	return -1;
}

} // namespace

bool RtmpServer::Start(const std::string &work_dir, const std::string &name, const std::string &application)
{
	port = FreePort();
	dir = work_dir + "/" + name;
	return Shell({"rtmp_conf", dir, std::to_string(port), application}) && Restart();
}

bool RtmpServer::Restart()
{
	pid = StartNginx(dir, port);
	return pid > 0;
}

void RtmpServer::Kill()
{
	StopChild(pid, SIGKILL);
	pid = -1;
}

void RtmpServer::Freeze()
{
	if (pid > 0)
		kill(pid, SIGSTOP);
}

void RtmpServer::Thaw()
{
	if (pid > 0)
		kill(pid, SIGCONT);
}

void RtmpServer::Stop()
{
	StopChild(pid, SIGQUIT);
	pid = -1;
}

std::vector<std::string> RtmpServer::Recordings() const
{
	std::vector<std::string> files;
	std::error_code ec;
	for (const auto &entry : fs::directory_iterator(dir + "/rec", ec)) {
		if (entry.path().extension() == ".flv" && entry.file_size() > 0)
			files.push_back(entry.path().string());
	}
	std::sort(files.begin(), files.end());
	return files;
}

bool TlsFront::Start(const std::string &work_dir, const std::string &cert, const std::string &key, uint16_t backend)
{
	port = FreePort();
	std::string dir = work_dir + "/tls-front";
	if (!Shell({"tls_conf", dir, std::to_string(port), std::to_string(backend), cert, key}))
		return false;
	pid = StartNginx(dir, port);
	return pid > 0;
}

void TlsFront::Stop()
{
	StopChild(pid);
	pid = -1;
}

bool TestAuthority::Create(const std::string &dir, const std::string &host_name)
{
	ca_cert = dir + "/ca.crt";
	server_cert = dir + "/server.crt";
	server_key = dir + "/server.key";
	return Shell({"make_authority", dir, host_name});
}

bool PrivateTrustAndHosts(const std::string &work_dir, const std::string &ca_cert, const std::string &host_name,
			  std::string &error)
{
	std::string trust = work_dir + "/trust", hosts = work_dir + "/hosts";
	std::error_code ec;
	fs::create_directories(trust, ec);
	fs::copy_file(ca_cert, trust + "/torvane-test-ca.pem", fs::copy_options::overwrite_existing, ec);
	std::ofstream(hosts) << "127.0.0.1 localhost\n127.0.0.1 " << host_name << "\n";
	if (ec) {
		error = "cannot prepare the private trust folder: " + ec.message();
		return false;
	}
	if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
	    mount(trust.c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0 ||
	    mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
		error = std::string("private mount namespace: ") + strerror(errno);
		return false;
	}
	return true;
}

} // namespace torvane::test
