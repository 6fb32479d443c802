#pragma once

#include "settings/file_ops.h"
#include "settings/model.h"

#include <cstdint>
#include <string>
#include <vector>

// The streamer's own relay server: nginx with its RTMP module takes Torvane's
// one upload and pushes it to every enabled destination. Here: which
// destinations it can carry, the configuration written for it, and the
// reading of its statistics page. Toolkit-free; nothing here logs.
namespace torvane {

// The stream name Torvane publishes on the relay; the relay key goes along as
// the publish argument "k", which the statistics page does not show.
inline constexpr const char *relay_stream_name = "torvane";

// An rtmp:// or rtmps:// URL taken apart; the port is the scheme's default
// (1935, 443) when the URL names none.
struct RtmpAddress {
	bool tls = false;
	std::string host;
	uint16_t port = 0;
	std::string application; // without the slashes around it; may hold more slashes
};
bool ParseRtmpUrl(const std::string &url, RtmpAddress &address);

// Why the relay cannot push to this destination, or an empty text when it can.
std::string RelayCarryProblem(const Destination &destination);

// Checks the relay's own settings and every enabled destination: the first
// problem's sentence ("Destination 2: ..."), or an empty text.
std::string RelayProblem(const PanelSettings &settings);

// What the engine streams while the relay is on: the shared quality to one
// destination, the relay's ingest, with the key as the publish argument.
PanelSettings RelayUpload(const PanelSettings &settings);

// The relay's statistics page: http://<ingest host>:<ingest port + 1><path>,
// the path a random secret (`RelaySettings::stats_path`). A path not of the
// form NewRelayStatsPath makes is never written into a configuration.
uint16_t RelayStatsPort(const RtmpAddress &ingest);
std::string NewRelayStatsPath();
bool IsRelayStatsPath(const std::string &path);

// The files of the relay's folder: nginx.conf and the README. Empty `problem`
// when they were made; the texts hold keys and are never logged.
struct RelayFiles {
	std::string config;
	std::string readme;
	std::string problem;
};
RelayFiles MakeRelayFiles(const PanelSettings &settings);

// Writes nginx.conf and README.txt into `folder`, readable only by the owner.
// False with the sentence in `message`.
bool ExportRelayFiles(const PanelSettings &settings, const std::u16string &folder, std::string &message,
		      const FileOps &files = platform_file_ops);

// The relay's view of one destination.
struct RelayPush {
	bool connected = false; // the relay's push to it is up
	uint32_t kbps = 0;
};
// The statistics page read: per destination, in list order, whether Torvane's
// upload arrives at the relay and each push's state. `read` is false for a page
// that is not the RTMP module's.
struct RelayView {
	bool read = false;
	bool publishing = false;
	std::vector<RelayPush> pushes;
};
RelayView ParseRelayStats(const std::string &xml, const PanelSettings &settings);

} // namespace torvane
