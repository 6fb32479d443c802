#include "tests/e2e/support.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

extern char **environ;

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::vector<char *> ArgvPointers(const std::vector<std::string> &argv)
{
	std::vector<char *> pointers;
	for (const std::string &arg : argv)
		pointers.push_back(const_cast<char *>(arg.c_str()));
	pointers.push_back(nullptr);
	return pointers;
}

bool WriteFile(const std::string &path, const std::string &content)
{
	std::ofstream file(path, std::ios::binary | std::ios::trunc);
	file << content;
	return static_cast<bool>(file);
}

bool Reaped(pid_t pid, std::chrono::milliseconds timeout)
{
	auto end = std::chrono::steady_clock::now() + timeout;
	do {
		int status = 0;
		pid_t r = waitpid(pid, &status, WNOHANG);
		if (r == pid || (r < 0 && errno == ECHILD))
			return true;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	} while (std::chrono::steady_clock::now() < end);
	return false;
}

std::string ResolveProgram(const std::string &name)
{
	if (name.find('/') != std::string::npos)
		return name;
	std::istringstream path(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
	std::string dir;
	while (std::getline(path, dir, ':')) {
		std::string candidate = dir + "/" + name;
		if (access(candidate.c_str(), X_OK) == 0)
			return candidate;
	}
	return name;
}

} // namespace

std::string TestWorkDir()
{
	const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
	std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
	std::replace(name.begin(), name.end(), '/', '_');
	fs::path dir = fs::path(TORVANE_E2E_WORK_ROOT) / name;
	std::error_code ec;
	fs::remove_all(dir, ec);
	fs::create_directories(dir);
	return dir.string();
}

pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path)
{
	// Resolved before fork: the child of a process with libobs's threads may
	// only make async-signal-safe calls.
	std::string program = ResolveProgram(argv[0]);
	std::vector<char *> args = ArgvPointers(argv);
	pid_t pid = fork();
	if (pid == 0) {
		// A test that dies (an abort, a sanitizer stop) takes its servers
		// and display with it.
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

void StopChild(pid_t pid, std::chrono::milliseconds grace)
{
	if (pid <= 0)
		return;
	kill(pid, SIGCONT);
	kill(pid, SIGTERM);
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
	if (spawned == 0) {
		char buffer[65536];
		ssize_t n;
		while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
			output.append(buffer, static_cast<size_t>(n));
	}
	close(fds[0]);
	int result = -1;
	if (spawned == 0)
		waitpid(pid, &result, 0);
	if (status)
		*status = spawned == 0 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
	return output;
}

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
	auto end = std::chrono::steady_clock::now() + Scaled(timeout);
	while (!done()) {
		if (std::chrono::steady_clock::now() >= end)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}
	return true;
}

uint16_t FreePort()
{
	int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t length = sizeof(address);
	uint16_t port = 0;
	if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
	    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
		port = ntohs(address.sin_port);
	close(fd);
	return port;
}

bool PortAccepts(uint16_t port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	address.sin_port = htons(port);
	bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
	close(fd);
	return ok;
}

bool Xvfb::Start(const std::string &work_dir)
{
	// Xvfb picks a free display itself and writes its number to the pipe.
	int fds[2];
	if (pipe(fds) != 0)
		return false;
	pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"},
		    work_dir + "/xvfb.log");
	close(fds[1]);
	std::string number;
	pollfd waiting = {fds[0], POLLIN, 0};
	while (pid > 0 && poll(&waiting, 1, 10000) > 0) {
		char c;
		if (read(fds[0], &c, 1) != 1 || c == '\n')
			break;
		number += c;
	}
	close(fds[0]);
	if (number.empty()) {
		Stop();
		return false;
	}
	display = ":" + number;
	setenv("DISPLAY", display.c_str(), 1);
	return true;
}

void Xvfb::Stop()
{
	StopChild(pid);
	pid = -1;
}

bool RtmpServer::Start(const std::string &work_dir, const std::string &name, const std::string &application)
{
	port = FreePort();
	dir = work_dir + "/" + name;
	record_dir = dir + "/rec";
	fs::create_directories(record_dir);
	std::ostringstream conf;
	conf << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
	     << "daemon off;\nmaster_process off;\n"
	     << "pid " << dir << "/nginx.pid;\n"
	     << "error_log " << dir << "/error.log info;\n"
	     << "events { worker_connections 64; }\n"
	     << "rtmp {\n  server {\n    listen 127.0.0.1:" << port << ";\n    chunk_size 4096;\n"
	     << "    application " << application << " {\n      live on;\n      record all;\n"
	     << "      record_unique on;\n      record_path " << record_dir << ";\n    }\n  }\n}\n";
	if (!WriteFile(dir + "/nginx.conf", conf.str()))
		return false;
	return Restart();
}

bool RtmpServer::Restart()
{
	pid = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, dir + "/nginx.out");
	if (pid <= 0)
		return false;
	return WaitFor(
		       [this] {
			       int status;
			       if (waitpid(pid, &status, WNOHANG) == pid) {
				       pid = -1;
				       return true;
			       }
			       return PortAccepts(port);
		       },
		       std::chrono::milliseconds(5000)) &&
	       pid > 0;
}

void RtmpServer::Kill()
{
	if (pid <= 0)
		return;
	kill(pid, SIGKILL);
	Reaped(pid, std::chrono::milliseconds(5000));
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
	if (pid <= 0)
		return;
	// SIGQUIT lets nginx close its recordings properly.
	kill(pid, SIGCONT);
	kill(pid, SIGQUIT);
	if (!Reaped(pid, std::chrono::milliseconds(5000))) {
		kill(pid, SIGKILL);
		Reaped(pid, std::chrono::milliseconds(5000));
	}
	pid = -1;
}

std::vector<std::string> RtmpServer::Recordings() const
{
	std::vector<std::string> files;
	std::error_code ec;
	for (const auto &entry : fs::directory_iterator(record_dir, ec)) {
		if (entry.path().extension() == ".flv" && entry.file_size() > 0)
			files.push_back(entry.path().string());
	}
	std::sort(files.begin(), files.end());
	return files;
}

bool TlsFront::Start(const std::string &work_dir, const std::string &cert, const std::string &key, uint16_t backend)
{
	port = FreePort();
	dir = work_dir + "/tls-front";
	fs::create_directories(dir);
	std::ostringstream conf;
	conf << "load_module /usr/lib/nginx/modules/ngx_stream_module.so;\n"
	     << "daemon off;\nmaster_process off;\n"
	     << "pid " << dir << "/nginx.pid;\n"
	     << "error_log " << dir << "/error.log info;\n"
	     << "events { worker_connections 64; }\n"
	     << "stream {\n  server {\n    listen 127.0.0.1:" << port << " ssl;\n"
	     << "    ssl_certificate " << cert << ";\n    ssl_certificate_key " << key << ";\n"
	     << "    proxy_pass 127.0.0.1:" << backend << ";\n  }\n}\n";
	if (!WriteFile(dir + "/nginx.conf", conf.str()))
		return false;
	pid = Spawn({"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, dir + "/nginx.out");
	return pid > 0 && WaitFor([this] { return PortAccepts(port); }, std::chrono::milliseconds(5000));
}

void TlsFront::Stop()
{
	StopChild(pid);
	pid = -1;
}

bool TestAuthority::Create(const std::string &work_dir, const std::string &host_name)
{
	std::string dir = work_dir + "/authority";
	fs::create_directories(dir);
	ca_cert = dir + "/ca.crt";
	server_cert = dir + "/server.crt";
	server_key = dir + "/server.key";
	std::string ca_key = dir + "/ca.key", request = dir + "/server.csr", extensions = dir + "/server.ext";
	if (!WriteFile(extensions,
		       "subjectAltName=DNS:" + host_name +
			       ",IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
			       "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n"))
		return false;
	int status = 0;
	RunCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_cert,
		    "-days", "2", "-subj", "/CN=Torvane e2e test authority", "-addext",
		    "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
		   &status);
	if (status != 0)
		return false;
	RunCommand({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", server_key, "-out", request, "-subj",
		    "/CN=" + host_name},
		   &status);
	if (status != 0)
		return false;
	RunCommand({"openssl", "x509", "-req", "-in", request, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial",
		    "-out", server_cert, "-days", "2", "-extfile", extensions},
		   &status);
	return status == 0;
}

bool PrivateTrustAndHosts(const std::string &work_dir, const std::string &ca_cert, const std::string &host_name,
			  std::string &error)
{
	std::string trust = work_dir + "/trust";
	fs::create_directories(trust);
	std::error_code ec;
	fs::copy_file(ca_cert, trust + "/torvane-e2e-ca.pem", fs::copy_options::overwrite_existing, ec);
	std::string hosts = work_dir + "/hosts";
	if (ec || !WriteFile(hosts, "127.0.0.1 localhost\n127.0.0.1 " + host_name + "\n")) {
		error = "cannot prepare the private trust folder";
		return false;
	}
	if (unshare(CLONE_NEWNS) != 0) {
		error = std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
		return false;
	}
	if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
	    mount(trust.c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr) != 0 ||
	    mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
		error = std::string("mount: ") + strerror(errno);
		return false;
	}
	return true;
}

bool ProbeRecording(const std::string &path, Recording &recording, std::string &error)
{
	recording = Recording();
	recording.path = path;
	int status = 0;
	std::string json = RunCommand({"ffprobe", "-v", "error", "-show_entries",
				       "stream=codec_type,codec_name,profile,width,height,sample_rate,channels", "-of",
				       "json", path},
				      &status);
	OBSDataAutoRelease data = obs_data_create_from_json(json.c_str());
	OBSDataArrayAutoRelease streams = data ? obs_data_get_array(data, "streams") : nullptr;
	if (status != 0 || !streams) {
		error = "ffprobe cannot read " + path;
		return false;
	}
	for (size_t i = 0; i < obs_data_array_count(streams); i++) {
		OBSDataAutoRelease stream = obs_data_array_item(streams, i);
		std::string type = obs_data_get_string(stream, "codec_type");
		if (type == "video") {
			recording.video_codec = obs_data_get_string(stream, "codec_name");
			recording.video_profile = obs_data_get_string(stream, "profile");
			recording.width = static_cast<uint32_t>(obs_data_get_int(stream, "width"));
			recording.height = static_cast<uint32_t>(obs_data_get_int(stream, "height"));
		} else if (type == "audio") {
			recording.audio_codec = obs_data_get_string(stream, "codec_name");
			recording.sample_rate =
				static_cast<uint32_t>(std::atoi(obs_data_get_string(stream, "sample_rate")));
			recording.channels = static_cast<uint32_t>(obs_data_get_int(stream, "channels"));
		}
	}

	// The packets tell the true rate, the keyframe spacing and the bitrate,
	// whatever the container's metadata claims.
	std::istringstream packets(RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
					       "packet=pts_time,size,flags", "-of", "csv=p=0", path}));
	std::string line;
	double first = -1, last = -1;
	uint64_t bytes = 0;
	while (std::getline(packets, line)) {
		std::istringstream fields(line);
		std::string pts, size, flags;
		if (!std::getline(fields, pts, ',') || !std::getline(fields, size, ',') || !std::getline(fields, flags))
			continue;
		double t = std::atof(pts.c_str());
		if (first < 0)
			first = t;
		else
			recording.longest_gap = std::max(recording.longest_gap, t - last);
		last = std::max(last, t);
		bytes += std::strtoull(size.c_str(), nullptr, 10);
		if (flags.find('K') != std::string::npos) {
			recording.keyframe_times.push_back(t);
			recording.keyframe_packets.push_back(recording.video_packets);
		}
		recording.video_packets++;
	}
	if (recording.video_packets >= 2 && last > first) {
		recording.frame_rate = (recording.video_packets - 1) / (last - first);
		recording.duration = recording.video_packets / recording.frame_rate;
		recording.video_kbps = bytes * 8.0 / recording.duration / 1000.0;
	}

	std::string volume = RunCommand(
		{"bash", "-c", "ffmpeg -hide_banner -nostats -i \"$1\" -map 0:a -af volumedetect -f null - 2>&1",
		 "bash", path});
	size_t at = volume.find("mean_volume: ");
	if (at != std::string::npos)
		recording.mean_volume_db = std::atof(volume.c_str() + at + 13);

	std::istringstream frames(RunCommand(
		{"ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-vf", "fps=2", "-f", "framemd5", "-"}));
	std::set<std::string> hashes;
	while (std::getline(frames, line)) {
		if (line.empty() || line[0] == '#')
			continue;
		size_t comma = line.rfind(',');
		if (comma != std::string::npos)
			hashes.insert(line.substr(comma + 1));
	}
	recording.distinct_frames = static_cast<uint32_t>(hashes.size());
	return true;
}

bool HostSession::Start(const torvane::HostVideo &video, const torvane::HostAudio &audio)
{
	if (work_dir.empty())
		work_dir = TestWorkDir();
	if (!xvfb.Start(work_dir)) {
		ADD_FAILURE() << "Xvfb did not start; see " << work_dir << "/xvfb.log";
		return false;
	}
	torvane::HostOptions options;
	options.video = video;
	options.audio = audio;
	options.config_dir = work_dir + "/obs-config";
	options.log_path = work_dir + "/obs.log";
	std::string error;
	if (!torvane::StartHeadlessHost(options, error)) {
		ADD_FAILURE() << error;
		return false;
	}
	started = true;
	return true;
}

void HostSession::Stop()
{
	if (started) {
		torvane::engine.StopAndRelease();
		torvane::StopHeadlessHost();
		started = false;
	}
	xvfb.Stop();
}

torvane::Destination LocalDestination(const std::string &name, uint16_t port, const std::string &key,
				      const std::string &application)
{
	torvane::Destination d;
	d.name = name;
	d.platform = "Custom";
	d.server = "rtmp://127.0.0.1:" + std::to_string(port) + "/" + application;
	d.key = key;
	d.enabled = true;
	return d;
}

torvane::PanelSettings TestSettings(const std::vector<torvane::Destination> &destinations)
{
	torvane::PanelSettings settings;
	settings.bitrate = 2500;
	settings.height = 720;
	settings.fps = 30;
	settings.destinations = destinations;
	return settings;
}

std::string StateText(uint64_t index)
{
	torvane::DestinationStats stats = torvane::engine.GetStats(index);
	return torvane::DestinationStateText(stats.state, stats.last_code);
}

std::vector<std::string> WatchTexts(uint64_t index, const std::function<bool()> &done,
				    std::chrono::milliseconds timeout)
{
	std::vector<std::string> seen;
	auto end = std::chrono::steady_clock::now() + Scaled(timeout);
	for (;;) {
		std::string text = StateText(index);
		if (seen.empty() || seen.back() != text)
			seen.push_back(text);
		if (done() || std::chrono::steady_clock::now() >= end)
			break;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	return seen;
}

bool AllSending(size_t count)
{
	for (size_t i = 0; i < count; i++) {
		if (torvane::engine.GetStats(i).state != static_cast<uint32_t>(torvane::DestinationState::Sending))
			return false;
	}
	return true;
}

} // namespace e2e
