// The relay: nginx started from the exported configuration as written (only
// the certificate authority it trusts is the test's) pushes Torvane's one
// upload to two RTMP servers and, through its TLS tunnel and a TLS front, a
// third; a publisher without the key is refused, no key shows on the
// statistics page, and a relay killed and started again is reconnected to.
#include "tests/e2e/e2e.h"

#include "control/controller.h"
#include "control/relay.h"
#include "settings/utf8.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

using namespace torvane;
using namespace torvane::test;
using Relaying = Session;

TEST_F(Relaying, OneUploadReachesEveryServerThroughTheExportedRelay)
{
	const std::string host = "relay-platform.example";
	ASSERT_TRUE(MakeAuthority(work_dir + "/ca", host));
	std::string error;
	ASSERT_TRUE(PrivateTrustAndHosts(work_dir, work_dir + "/ca/ca.crt", host, error)) << error;
	Nginx a, b, behind_tls, front, relay;
	ASSERT_TRUE(a.StartRtmp(work_dir, "a") && b.StartRtmp(work_dir, "b") && behind_tls.StartRtmp(work_dir, "c"));
	ASSERT_TRUE(front.StartTls(work_dir, "front", work_dir + "/ca/server.crt", work_dir + "/ca/server.key",
				   behind_tls.port));
	ASSERT_TRUE(StartHost(HostVideo()));

	settings = SharedAt(720, 30, 2500);
	Destination tls = Loopback("TLS", 0);
	tls.server = "rtmps://" + host + ":" + std::to_string(front.port) + "/app";
	settings.destinations = {Loopback("A", a.port), Loopback("B", b.port), tls, Loopback("Off", 1, false)};
	relay.port = FreePort();
	settings.relay = {true, "rtmp://127.0.0.1:" + std::to_string(relay.port) + "/live", "relay-key-0123456789", ""};
	SettingsStore store;
	store.settings = settings;
	store.load_attempted = true;
	Controller controller(store, engine, nullptr, HostVideoInfo);
	controller.writes_settings = false;

	relay.dir = work_dir + "/relay";
	ASSERT_TRUE(ExportRelay(controller, Utf8ToWide(relay.dir)).Ok()) << controller.status.text;
	const std::string config = relay.dir + "/nginx.conf";
	struct stat info;
	ASSERT_EQ(stat(config.c_str(), &info), 0);
	EXPECT_EQ(info.st_mode & 0777, 0600u);
	ASSERT_EQ(RunCommand({"sed", "-i", "s#/etc/ssl/certs/ca-certificates.crt#" + work_dir + "/ca/ca.crt#", config}),
		  "");
	relay.directives = "daemon off; master_process off; pid " + relay.dir + "/nginx.pid;";
	ASSERT_TRUE(relay.Restart()) << "see " << relay.dir << "/error.log";

	int status = 0;
	RunCommand({"ffmpeg", "-v", "error", "-re", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30", "-t", "2",
		    "-c:v", "libx264", "-f", "flv", "rtmp://127.0.0.1:" + std::to_string(relay.port) + "/live/torvane"},
		   &status);
	EXPECT_NE(status, 0) << "a publisher without the relay key was let in";

	// Every platform behind the relay takes the one encode's codec.
	store.settings.encoder = "ffmpeg_svt_av1";
	store.settings.destinations[1].platform = "Twitch";
	EXPECT_EQ(StartAll(controller).sentence,
		  "Destination 2: Twitch takes H.264 only. Choose an H.264 encoder for it.");
	store.settings.encoder = settings.encoder;
	store.settings.destinations[1].platform = "Custom";
	ASSERT_TRUE(StartAll(controller).Ok()) << controller.status.text;
	EXPECT_EQ(engine.runs.size(), 1u) << "one upload";
	EXPECT_EQ(engine.groups.size(), 1u) << "one encode";
	auto all_relayed = [&] {
		Tick(controller);
		const Snapshot snapshot = TakeSnapshot(controller);
		return snapshot.sending == 3 && snapshot.rows[2].status.text == "Sending through the relay";
	};
	ASSERT_TRUE(WaitFor(all_relayed, std::chrono::seconds(20))) << TakeSnapshot(controller).header;
	EXPECT_EQ(TakeSnapshot(controller).rows[3].status.text, "Not included");
	EXPECT_TRUE(
		WaitFor([&] { return Frames(0) >= 150 && (Tick(controller), ViewRow(controller, 1).stats.kbps > 0); },
			std::chrono::seconds(30)))
		<< "the relay's bandwidth figure never showed";

	std::string page;
	ASSERT_TRUE(HttpGet("127.0.0.1", relay.port + 1, store.settings.relay.stats_path, page, 2000));
	for (const std::string &secret : {settings.relay.key, std::string("key-")})
		EXPECT_EQ(page.find(secret), std::string::npos) << secret << " is on the statistics page";

	relay.Kill();
	ASSERT_TRUE(relay.Restart());
	EXPECT_TRUE(WaitFor([&] { return (Tick(controller), !all_relayed()); }, std::chrono::seconds(10)));
	ASSERT_TRUE(WaitFor(all_relayed, std::chrono::seconds(40))) << "Torvane did not reconnect to the relay";
	const int frames = Frames(0);
	EXPECT_TRUE(WaitFor([&] { return Frames(0) >= frames + 90; }, std::chrono::seconds(20)));
	StopAll(controller);
	EXPECT_TRUE(WaitFor([&] { return !engine.IsBusy(); }));
	relay.Stop();

	for (Nginx *server : {&a, &b, &behind_tls}) {
		server->Stop();
		const std::vector<std::string> files = server->Recordings();
		ASSERT_EQ(files.size(), 2u) << server->dir << ": before and after the relay's restart";
		for (const std::string &file : files) {
			SCOPED_TRACE(file);
			const Recording rec = ProbeRecording(file);
			EXPECT_EQ(rec.video + " / " + rec.audio, "h264,High,1280,720 / aac,48000,2");
			EXPECT_GT(rec.video_packets, 45u);
		}
	}
}
