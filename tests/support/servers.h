#pragma once

// Local servers for the streaming tests: nginx RTMP servers on loopback (one
// process per server, so one can be killed or frozen alone), a TLS front, and
// a throwaway certificate authority. Their configuration comes from
// tests/lib/testlib.sh, which the scripts use too.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace torvane::test {

// One nginx process serving RTMP on a free loopback port and recording every
// stream it receives into its own folder (<key>-<time>.flv).
struct RtmpServer {
	uint16_t port = 0;
	std::string dir; // configuration, logs and rec/
	pid_t pid = -1;

	// `application` is the RTMP application path that accepts streams.
	bool Start(const std::string &work_dir, const std::string &name, const std::string &application = "app");
	bool Restart(); // the same configuration again, after Kill()
	void Kill();    // SIGKILL: the connection drops without goodbye
	void Freeze();  // SIGSTOP: the server stops reading
	void Thaw();
	void Stop(); // graceful: recordings are finished
	std::vector<std::string> Recordings() const;
	~RtmpServer() { Stop(); }
};

// nginx terminating TLS on a free port and passing the plain bytes on to an
// RTMP server on loopback.
struct TlsFront {
	uint16_t port = 0;
	pid_t pid = -1;

	bool Start(const std::string &work_dir, const std::string &cert, const std::string &key, uint16_t backend);
	void Stop();
	~TlsFront() { Stop(); }
};

// A throwaway certificate authority and a server certificate it signed for
// `host_name` and 127.0.0.1.
struct TestAuthority {
	std::string ca_cert, server_cert, server_key;
	bool Create(const std::string &dir, const std::string &host_name);
};

// Makes this process (only) trust `ca_cert` as its only root and resolve
// `host_name` to 127.0.0.1: a private mount namespace with a folder bound over
// /etc/ssl/certs, where OBS's RTMP client loads its roots from, and a private
// /etc/hosts. Must run before any thread starts.
bool PrivateTrustAndHosts(const std::string &work_dir, const std::string &ca_cert, const std::string &host_name,
			  std::string &error);

} // namespace torvane::test
