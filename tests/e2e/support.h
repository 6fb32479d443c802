#pragma once

// What the end-to-end tests stand on: a work folder per test, child processes
// stopped by their PID, a private Xvfb, nginx RTMP servers on loopback (one
// process per server, so one can be killed or frozen alone), a TLS front, and
// ffprobe's view of what a server recorded.
#include "engine/engine.h"
#include "settings/model.h"
#include "tools/headless/headless_host.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A folder under the build tree named after the running test, emptied when
// the test starts and kept afterwards for a look at the logs.
std::string TestWorkDir();

// Runs `command` with `argv` (argv[0] included), output to `log_path`.
pid_t Spawn(const std::vector<std::string> &argv, const std::string &log_path);

// SIGTERM, then SIGKILL after `grace`; reaps the child.
void StopChild(pid_t pid, std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

// Runs a command to its end and returns its standard output; `status` gets
// the exit status.
std::string RunCommand(const std::vector<std::string> &argv, int *status = nullptr);

// How much slower than usual this build runs (TORVANE_E2E_TIME_SCALE, 1 by
// default; the ThreadSanitizer preset sets 3). Every timeout and every
// stretch of streaming a test waits for is multiplied by it.
double TimeScale();
std::chrono::milliseconds Scaled(std::chrono::milliseconds duration);

// Waits until `done` is true, checking every 50 ms. False on timeout (scaled).
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout);

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
uint16_t FreePort();

bool PortAccepts(uint16_t port);

// A private X display for libobs's renderer.
struct Xvfb {
	pid_t pid = -1;
	std::string display;

	bool Start(const std::string &work_dir);
	void Stop();
	~Xvfb() { Stop(); }
};

// One nginx process serving RTMP on one loopback port, recording every stream
// it receives into its own folder. Single-process mode keeps everything in the
// PID this object holds, so SIGSTOP freezes exactly this server.
struct RtmpServer {
	uint16_t port = 0;
	std::string dir;        // prefix, configuration and logs
	std::string record_dir; // recordings (<key>-<time>.flv)
	pid_t pid = -1;

	// `application` is the RTMP application path that accepts streams.
	bool Start(const std::string &work_dir, const std::string &name, const std::string &application = "app");
	// Starts the same configuration again after Kill().
	bool Restart();
	void Kill();   // SIGKILL: the connection drops without goodbye
	void Freeze(); // SIGSTOP: the server stops reading
	void Thaw();   // SIGCONT
	void Stop();   // graceful: recordings are finished
	std::vector<std::string> Recordings() const;
	~RtmpServer() { Stop(); }
};

// nginx's stream module terminating TLS on `port` and passing the plain bytes
// to an RTMP server on loopback.
struct TlsFront {
	uint16_t port = 0;
	std::string dir;
	pid_t pid = -1;

	bool Start(const std::string &work_dir, const std::string &cert, const std::string &key, uint16_t backend);
	void Stop();
	~TlsFront() { Stop(); }
};

// A throwaway certificate authority and a server certificate it signed for
// `host_name` (and 127.0.0.1).
struct TestAuthority {
	std::string ca_cert;
	std::string server_cert;
	std::string server_key;
	bool Create(const std::string &work_dir, const std::string &host_name);
};

// Makes this process (only) trust `ca_cert` as its only root and resolve
// `host_name` to 127.0.0.1: a private mount namespace with a folder bound over
// /etc/ssl/certs, which is where OBS's RTMP client loads its roots from, and a
// private /etc/hosts. Nothing outside this process sees either. Must run
// before libobs starts.
bool PrivateTrustAndHosts(const std::string &work_dir, const std::string &ca_cert, const std::string &host_name,
			  std::string &error);

// ffprobe's view of one recording.
struct Recording {
	std::string path;
	std::string video_codec, video_profile, audio_codec;
	uint32_t width = 0, height = 0;
	double frame_rate = 0; // average, frames per second
	uint32_t sample_rate = 0, channels = 0;
	double duration = 0;    // seconds, from the video packets
	double longest_gap = 0; // seconds between two video packets
	uint64_t video_packets = 0;
	std::vector<double> keyframe_times;     // seconds
	std::vector<uint64_t> keyframe_packets; // positions among the video packets
	double video_kbps = 0;                  // from the packet sizes
	double mean_volume_db = -200;           // the audio's loudness
	uint32_t distinct_frames = 0;           // among frames sampled twice a second
};

bool ProbeRecording(const std::string &path, Recording &recording, std::string &error);

// Everything a streaming test needs around the engine: a work folder, Xvfb and
// the headless host. Stops the engine and the host in its destructor.
struct HostSession {
	std::string work_dir;
	Xvfb xvfb;
	bool started = false;

	bool Start(const torvane::HostVideo &video = torvane::HostVideo(),
		   const torvane::HostAudio &audio = torvane::HostAudio());
	void Stop();
	~HostSession() { Stop(); }
};

// A custom destination streaming to rtmp://127.0.0.1:PORT/APP with `key`.
torvane::Destination LocalDestination(const std::string &name, uint16_t port, const std::string &key,
				      const std::string &application = "app");

// The settings a test streams: 720p, 30 fps, 2500 kbps unless changed.
torvane::PanelSettings TestSettings(const std::vector<torvane::Destination> &destinations);

// The display text of destination i's current state, as the panel shows it.
std::string StateText(uint64_t index);

// Records every distinct text destination `index` shows while `done` is false
// (checked every 20 ms, up to `timeout`), in order of appearance.
std::vector<std::string> WatchTexts(uint64_t index, const std::function<bool()> &done,
				    std::chrono::milliseconds timeout);

bool AllSending(size_t count);

} // namespace e2e
