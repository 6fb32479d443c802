#include "control/relay.h"

#include "settings/platform.h"
#include "settings/texts.h"
#include "settings/utf8.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

namespace torvane {

namespace {

// The statistics page path's random part, in 32-bit words.
constexpr int stats_path_words = 4;

// Characters that would end or change an nginx token: a text holding one is
// refused rather than quoted, since the RTMP module's push arguments take no
// quotes.
bool HoldsUnsafe(const std::string &text)
{
	for (unsigned char c : text)
		if (c <= ' ' || c == 0x7f || std::strchr(";\"'{}$#\\", c))
			return true;
	return false;
}

bool IsKeyChar(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
	       c == '.';
}

// The local port of the TLS tunnel to the destination at `index`.
uint16_t TunnelPort(const RtmpAddress &ingest, size_t index)
{
	return static_cast<uint16_t>(ingest.port + 2 + index);
}

// Where the relay pushes a destination, as its statistics page names the push:
// the destination's own host, or the local end of its TLS tunnel.
std::string PushAddress(const RtmpAddress &ingest, const RtmpAddress &to, size_t index)
{
	const std::string host = to.tls ? "127.0.0.1" : to.host;
	const uint16_t port = to.tls ? TunnelPort(ingest, index) : to.port;
	return host + ":" + std::to_string(port) + "/" + to.application;
}

// The text between <tag> and </tag> from `from` on, before `end`.
std::string Element(const std::string &xml, const char *tag, size_t from, size_t end)
{
	const std::string open = std::string("<") + tag + ">", close = std::string("</") + tag + ">";
	const size_t at = xml.find(open, from);
	if (at == std::string::npos || at >= end)
		return std::string();
	const size_t stop = xml.find(close, at);
	return stop == std::string::npos || stop > end ? std::string()
						       : xml.substr(at + open.size(), stop - at - open.size());
}

} // namespace

bool ParseRtmpUrl(const std::string &url, RtmpAddress &address)
{
	RtmpAddress parsed;
	size_t at;
	if (url.rfind("rtmp://", 0) == 0)
		at = 7;
	else if (url.rfind("rtmps://", 0) == 0)
		at = 8, parsed.tls = true;
	else
		return false;
	const size_t slash = url.find('/', at);
	const std::string authority = url.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
	const size_t colon = authority.rfind(':');
	parsed.host = authority.substr(0, colon);
	parsed.port = parsed.tls ? 443 : 1935;
	if (colon != std::string::npos) {
		const std::string digits = authority.substr(colon + 1);
		if (digits.empty() || digits.size() > 5 ||
		    digits.find_first_not_of("0123456789") != std::string::npos || std::stoi(digits) < 1 ||
		    std::stoi(digits) > 65535)
			return false;
		parsed.port = static_cast<uint16_t>(std::stoi(digits));
	}
	std::string application = slash == std::string::npos ? std::string() : url.substr(slash + 1);
	while (!application.empty() && application.back() == '/')
		application.pop_back();
	parsed.application = application;
	if (parsed.host.empty() || parsed.application.empty() || HoldsUnsafe(url))
		return false;
	address = std::move(parsed);
	return true;
}

std::string RelayCarryProblem(const Destination &destination)
{
	if (FollowsObsEncoder(destination))
		return Tr(Txt::RelaySameAsObs);
	if (destination.quality)
		return Tr(Txt::RelayOwnQuality);
	if (destination.picture.kind != PictureKind::Program)
		return Tr(Txt::RelayPicture);
	if (!destination.username.empty() || !destination.password.empty())
		return Tr(Txt::RelaySignIn);
	if (HoldsUnsafe(destination.server) || HoldsUnsafe(destination.key))
		return Tr(Txt::RelayUnsafe);
	RtmpAddress address;
	if (!ParseRtmpUrl(destination.server, address))
		return Tr(Txt::RelayNotRtmp);
	return std::string();
}

std::string RelayProblem(const PanelSettings &settings)
{
	RtmpAddress ingest;
	if (!ParseRtmpUrl(settings.relay.ingest, ingest) || ingest.tls ||
	    ingest.port > 65535 - 2 - max_saved_destinations)
		return Tr(Txt::RelayNeedsIngest);
	const std::string &key = settings.relay.key;
	bool key_valid = key.size() >= 12 && key.size() <= 128;
	for (char c : key)
		key_valid = key_valid && IsKeyChar(c);
	if (!key_valid)
		return Tr(Txt::RelayKeyRule);
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const std::string problem =
			settings.destinations[i].enabled ? RelayCarryProblem(settings.destinations[i]) : "";
		if (!problem.empty())
			return Tr(Txt::DestinationProblem, {std::to_string(i + 1), problem});
	}
	bool any = false;
	for (const Destination &d : settings.destinations)
		any = any || d.enabled;
	return any ? std::string() : Tr(Txt::EnableOne);
}

PanelSettings RelayUpload(const PanelSettings &settings)
{
	PanelSettings upload = settings;
	Destination relay;
	relay.name = "Relay";
	// Kick's limits (main profile, no B-frames) bind the one encode when Kick
	// is among the pushes.
	const bool kick =
		std::any_of(settings.destinations.begin(), settings.destinations.end(), [](const Destination &d) {
			return d.enabled && ParsePlatform(d.platform) == Platform::Kick;
		});
	relay.platform = kick ? "Kick" : "Custom";
	relay.server = settings.relay.ingest;
	relay.key = std::string(relay_stream_name) + "?k=" + settings.relay.key;
	relay.enabled = true;
	upload.destinations = {relay};
	upload.relay = RelaySettings();
	return upload;
}

uint16_t RelayStatsPort(const RtmpAddress &ingest)
{
	return static_cast<uint16_t>(ingest.port + 1);
}

std::string NewRelayStatsPath()
{
	// The standard library's random device reads the system's secure source
	// (getrandom, rand_s).
	std::random_device random;
	std::string path = "/stat-";
	for (int i = 0; i < stats_path_words; i++) {
		char hex[9];
		snprintf(hex, sizeof(hex), "%08x", static_cast<unsigned>(random()));
		path += hex;
	}
	return path;
}

bool IsRelayStatsPath(const std::string &path)
{
	return path.size() == 6 + 8 * stats_path_words && path.rfind("/stat-", 0) == 0 &&
	       std::all_of(path.begin() + 6, path.end(),
			   [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

RelayFiles MakeRelayFiles(const PanelSettings &settings)
{
	RelayFiles files;
	files.problem = RelayProblem(settings);
	if (!files.problem.empty())
		return files;
	RtmpAddress ingest;
	ParseRtmpUrl(settings.relay.ingest, ingest);
	const std::string stats_port = std::to_string(RelayStatsPort(ingest));

	std::ostringstream tunnels, pushes;
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const Destination &d = settings.destinations[i];
		RtmpAddress to;
		if (!d.enabled || !ParseRtmpUrl(d.server, to))
			continue;
		const std::string number = std::to_string(i + 1);
		if (to.tls) {
			tunnels << "\t# Destination " << number << ": RTMPS, TLS to the platform.\n"
				<< "\tserver {\n\t\tlisten 127.0.0.1:" << TunnelPort(ingest, i) << ";\n"
				<< "\t\tproxy_pass " << to.host << ":" << to.port << ";\n"
				<< "\t\tproxy_ssl on;\n\t\tproxy_ssl_server_name on;\n\t\tproxy_ssl_name " << to.host
				<< ";\n\t\tproxy_ssl_verify on;\n"
				<< "\t\tproxy_ssl_trusted_certificate /etc/ssl/certs/ca-certificates.crt;\n\t}\n";
		}
		// The key as the play path: the statistics page names a push by its
		// address and application only.
		pushes << "\t\t\t# Destination " << number << (to.tls ? ", through its TLS tunnel" : "") << "\n"
		       << "\t\t\tpush rtmp://" << PushAddress(ingest, to, i) << " playPath=" << d.key << ";\n";
	}

	std::ostringstream config;
	config << "# nginx configuration of a Torvane relay, written by Torvane. It holds stream\n"
		  "# keys: keep it readable only by its owner. See README.txt beside it.\n"
		  "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
		  "load_module /usr/lib/nginx/modules/ngx_stream_module.so;\n"
		  "user www-data;\n"
		  "# One worker: the RTMP module keeps a live stream and its pushes in one process.\n"
		  "worker_processes 1;\n"
		  "events {\n\tworker_connections 1024;\n}\n\n"
		  "# Ingest protection: Torvane publishes the stream \""
	       << relay_stream_name
	       << "\" with the relay key as the\n"
		  "# argument k. The RTMP module asks /publish below (on_publish) before it accepts a\n"
		  "# publisher and refuses it unless the answer is 2xx, which only the right key gets;\n"
		  "# /publish answers 127.0.0.1 only. Watching from the relay is denied to everyone.\n"
		  "# The statistics page lives at a secret path and names streams and pushes without\n"
		  "# their keys or arguments.\n"
		  "http {\n\t# Requests to /publish carry the relay key.\n\taccess_log off;\n"
		  "\tserver {\n\t\tlisten "
	       << stats_port << ";\n"
	       << (IsRelayStatsPath(settings.relay.stats_path)
			   ? "\t\tlocation = " + settings.relay.stats_path + " {\n\t\t\trtmp_stat all;\n\t\t}\n"
			   : std::string())
	       << "\t\tlocation = /publish {\n\t\t\tallow 127.0.0.1;\n\t\t\tdeny all;\n\t\t\tif ($arg_k = \""
	       << settings.relay.key
	       << "\") {\n\t\t\t\treturn 204;\n\t\t\t}\n\t\t\treturn 403;\n\t\t}\n"
		  "\t\tlocation / {\n\t\t\treturn 404;\n\t\t}\n\t}\n}\n\n"
		  "# The RTMP module pushes plain RTMP only: each RTMPS destination is reached\n"
		  "# through a local TLS tunnel that checks the platform's certificate.\n"
		  "stream {\n"
	       << tunnels.str() << "}\n\nrtmp {\n\tserver {\n\t\tlisten " << ingest.port
	       << ";\n\t\tchunk_size 4096;\n\t\tapplication " << ingest.application
	       << " {\n\t\t\tlive on;\n\t\t\trecord off;\n\t\t\tdeny play all;\n\t\t\tnotify_method get;\n"
		  "\t\t\ton_publish http://127.0.0.1:"
	       << stats_port << "/publish;\n"
	       << pushes.str() << "\t\t}\n\t}\n}\n";
	files.config = config.str();

	files.readme = "Torvane relay\n\n"
		       "nginx.conf configures nginx with its RTMP module to take Torvane's one upload\n"
		       "and push it to every destination that was enabled when it was exported. It holds\n"
		       "stream keys: copy it to the server over ssh and keep it readable only by you.\n\n"
		       "On a Debian or Ubuntu server, as root, in the folder holding nginx.conf:\n\n"
		       "  apt install nginx libnginx-mod-rtmp libnginx-mod-stream && systemctl disable --now nginx\n"
		       "  nginx -c \"$PWD/nginx.conf\"\n\n"
		       "Open TCP port " +
		       std::to_string(ingest.port) + " (the ingest) and " + stats_port +
		       " (the statistics Torvane reads).\n"
		       "Only a publisher that presents the relay key may publish. Export again after\n"
		       "changing destinations or keys, and reload with: nginx -c \"$PWD/nginx.conf\" -s reload\n";
	return files;
}

bool ExportRelayFiles(const PanelSettings &settings, const std::u16string &folder, std::string &message,
		      const FileOps &files)
{
	const RelayFiles made = MakeRelayFiles(settings);
	if (!made.problem.empty()) {
		message = made.problem;
		return false;
	}
	files.create_parents(folder + u"/nginx.conf");
	for (const auto &[name, text] : {std::pair{u"/nginx.conf", &made.config}, {u"/README.txt", &made.readme}}) {
		const std::u16string path = folder + name, temporary = path + u".tmp";
		FileHandle handle = files.create(temporary);
		bool saved = handle != no_file &&
			     files.write(handle, reinterpret_cast<const uint8_t *>(text->data()), text->size()) &&
			     files.flush(handle);
		if (handle != no_file)
			saved = saved ? files.replace(handle, temporary, path) : (files.close(handle), false);
		if (!saved) {
			if (handle != no_file)
				files.remove(temporary);
			message = Tr(Txt::RelayExportFailed, {WideToUtf8(folder)});
			return false;
		}
	}
	message = Tr(Txt::RelayExported, {WideToUtf8(folder + u"/nginx.conf")});
	return true;
}

RelayView ParseRelayStats(const std::string &xml, const PanelSettings &settings)
{
	RelayView view;
	view.pushes.resize(settings.destinations.size());
	RtmpAddress ingest;
	if (xml.find("<nginx_rtmp_version>") == std::string::npos || !ParseRtmpUrl(settings.relay.ingest, ingest))
		return view;
	view.read = true;
	// Torvane's stream in the ingest application.
	const std::string wanted = std::string("<name>") + relay_stream_name + "</name>";
	size_t stream = xml.find("<stream>");
	size_t end = std::string::npos;
	for (; stream != std::string::npos; stream = xml.find("<stream>", end)) {
		end = xml.find("</stream>", stream);
		if (end == std::string::npos)
			return view;
		const size_t name = xml.find(wanted, stream);
		const size_t application = xml.rfind("<application>", stream);
		if (name < end && application != std::string::npos &&
		    Element(xml, "name", application, stream) == ingest.application)
			break;
	}
	if (stream == std::string::npos)
		return view;

	// The pushes that are up, by address; the publisher is Torvane's upload.
	std::vector<std::string> pushing;
	for (size_t client = xml.find("<client>", stream); client < end; client = xml.find("<client>", client + 1)) {
		const size_t client_end = std::min(xml.find("</client>", client), end);
		const std::string body = xml.substr(client, client_end - client);
		if (body.find("<publishing/>") != std::string::npos)
			view.publishing = true;
		else if (body.find("<active/>") != std::string::npos)
			pushing.push_back(Element(xml, "address", client, client_end));
	}
	const uint64_t bits = std::strtoull(Element(xml, "bw_out", stream, end).c_str(), nullptr, 10);
	const uint32_t kbps = pushing.empty() ? 0 : static_cast<uint32_t>(bits / 1000 / pushing.size());
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		RtmpAddress to;
		if (!settings.destinations[i].enabled || !ParseRtmpUrl(settings.destinations[i].server, to))
			continue;
		// Two destinations on one server and application share an address:
		// each takes one of its pushes.
		for (std::string &address : pushing) {
			if (address == PushAddress(ingest, to, i)) {
				view.pushes[i] = RelayPush{true, kbps};
				address.clear();
				break;
			}
		}
	}
	return view;
}

} // namespace torvane
