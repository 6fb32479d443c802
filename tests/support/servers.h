#pragma once

// Local servers for the streaming tests, configured by scripts/lib/local-run.sh
// as the scripts' are: one nginx process per server on a free loopback port, so
// that one can be killed or frozen alone, and a throwaway certificate authority.
#include "tests/support/system.h"

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace torvane::test {

struct Nginx {
	uint16_t port = 0;
	std::string dir; // configuration, logs and the recordings in rec/
	pid_t pid = -1;
	std::string directives; // given with -g: for a configuration written for a server

	// An RTMP server accepting streams for `application` and recording each
	// into rec/<key>-<time>.flv.
	bool StartRtmp(const std::string &work_dir, const std::string &name, const std::string &application = "app");
	// TLS terminated with `cert` and `key`, the plain bytes passed on to `backend`.
	bool StartTls(const std::string &work_dir, const std::string &name, const std::string &cert,
		      const std::string &key, uint16_t backend);
	bool Restart(); // the same configuration again, after a stop
	void Freeze();  // SIGSTOP: the server stops reading
	// SIGQUIT finishes the recordings; SIGKILL drops the connections without goodbye.
	void Stop(int signal = SIGQUIT);
	void Kill() { Stop(SIGKILL); }
	std::vector<std::string> Recordings() const;
	~Nginx() { Stop(); }
};

// ffmpeg recording one publisher of rtmp://127.0.0.1:PORT/app/KEY into
// DIR/recording.mkv; unlike nginx it reads the enhanced RTMP of HEVC and AV1.
struct FfmpegReceiver {
	uint16_t port = 0;
	std::string recording;
	pid_t pid = -1;

	bool Start(const std::string &work_dir, const std::string &name, const std::string &key);
	// An SRT or RIST listener ("srt", "rist") on 127.0.0.1:`at_port` (a free
	// port unless given) with `options` in its URL, recording into DIR/recording.ts.
	bool Listen(const std::string &work_dir, const std::string &name, const std::string &scheme,
		    const std::string &options, uint16_t at_port = 0);
	// ffmpeg ends by itself when the publisher leaves; SIGTERM finishes the file too.
	void Stop()
	{
		StopChild(pid, SIGTERM);
		pid = -1;
	}
	~FfmpegReceiver() { Stop(); }
};

// A throwaway certificate authority (DIR/ca.crt) and a certificate it signed
// for `host_name` and 127.0.0.1 (DIR/server.crt and DIR/server.key).
bool MakeAuthority(const std::string &dir, const std::string &host_name);

// Makes this process (only) trust `ca_cert` as its only root and resolve
// `host_name` to 127.0.0.1: a private mount namespace with a folder bound over
// /etc/ssl/certs, where OBS's RTMP client loads its roots from, and a private
// /etc/hosts. Must run before any thread starts.
bool PrivateTrustAndHosts(const std::string &work_dir, const std::string &ca_cert, const std::string &host_name,
			  std::string &error);

} // namespace torvane::test
