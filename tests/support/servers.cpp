#include "tests/support/servers.h"

#include "tests/support/system.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace torvane::test {
namespace {

// Runs one function of the shell library.
bool Shell(std::vector<std::string> call)
{
	call.insert(call.begin(), {"bash", "-c", "source " TORVANE_TEST_LIB " && \"$@\"", "bash"});
	int status = -1;
	RunCommand(call, &status);
	return status == 0;
}

} // namespace

bool Nginx::StartRtmp(const std::string &work_dir, const std::string &name, const std::string &application)
{
	port = FreePort();
	dir = work_dir + "/" + name;
	return Shell({"rtmp_conf", dir, std::to_string(port), application}) && Restart();
}

bool Nginx::StartTls(const std::string &work_dir, const std::string &name, const std::string &cert,
		     const std::string &key, uint16_t backend)
{
	port = FreePort();
	dir = work_dir + "/" + name;
	return Shell({"tls_conf", dir, std::to_string(port), std::to_string(backend), cert, key}) && Restart();
}

bool Nginx::Restart()
{
	std::vector<std::string> argv = {"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"};
	if (!directives.empty())
		argv.insert(argv.end(), {"-g", directives});
	pid = Spawn(argv, dir + "/nginx.out");
	bool exited = false;
	auto up = [&] {
		return (exited = waitpid(pid, nullptr, WNOHANG) != 0) || PortAccepts(port);
	};
	if (pid > 0 && WaitFor(up, std::chrono::seconds(5)) && !exited)
		return true;
	if (!exited)
		StopChild(pid, SIGKILL);
	pid = -1;
	return false;
}

void Nginx::Stop(int signal)
{
	StopChild(pid, signal);
	pid = -1;
}

void Nginx::Freeze()
{
	if (pid > 0)
		kill(pid, SIGSTOP);
}

std::vector<std::string> Nginx::Recordings() const
{
	std::vector<std::string> files;
	std::error_code ec;
	for (const auto &entry : fs::directory_iterator(dir + "/rec", ec))
		if (entry.path().extension() == ".flv" && entry.file_size() > 0)
			files.push_back(entry.path().string());
	std::sort(files.begin(), files.end());
	return files;
}

// Whether something listens on 127.0.0.1:`port`, seen in the kernel's table
// (UDP: bound without a peer) rather than by connecting: ffmpeg takes the
// first connection as its client.
static bool PortListens(uint16_t port, bool udp = false)
{
	char wanted[32];
	snprintf(wanted, sizeof(wanted), "0100007F:%04X 00000000:0000 %s", port, udp ? "07" : "0A");
	std::ostringstream table;
	table << std::ifstream(udp ? "/proc/net/udp" : "/proc/net/tcp").rdbuf();
	return table.str().find(wanted) != std::string::npos;
}

bool FfmpegReceiver::Start(const std::string &work_dir, const std::string &name, const std::string &key)
{
	port = FreePort();
	const std::string dir = work_dir + "/" + name;
	recording = dir + "/recording.mkv";
	std::error_code ec;
	fs::create_directories(dir, ec);
	pid = Spawn({"ffmpeg", "-nostdin", "-y", "-listen", "1", "-i",
		     "rtmp://127.0.0.1:" + std::to_string(port) + "/app/" + key, "-c", "copy", recording},
		    dir + "/ffmpeg.log");
	return pid > 0 && WaitFor([&] { return PortListens(port); }, std::chrono::seconds(5));
}

bool FfmpegReceiver::Listen(const std::string &work_dir, const std::string &name, const std::string &scheme,
			    const std::string &options, uint16_t at_port)
{
	// RIST sends on an even port and reports on the next one.
	port = at_port ? at_port : uint16_t(FreePort() & ~1);
	const std::string dir = work_dir + "/" + name;
	recording = dir + "/recording.ts";
	fs::create_directories(dir);
	const std::string url = scheme + "://" + (scheme == "rist" ? "@" : "") + "127.0.0.1:" + std::to_string(port) +
				(options.empty() ? "" : "?" + options);
	pid = Spawn({"ffmpeg", "-nostdin", "-y", "-i", url, "-c", "copy", "-f", "mpegts", recording},
		    dir + "/ffmpeg.log");
	return pid > 0 && WaitFor([&] { return PortListens(port, true); }, std::chrono::seconds(5));
}

bool MakeAuthority(const std::string &dir, const std::string &host_name)
{
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
	if (ec || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
	    mount(trust.c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0 ||
	    mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
		error = "no private trust folder and hosts file: " + (ec ? ec.message() : strerror(errno));
		return false;
	}
	return true;
}

} // namespace torvane::test
