// RTMPS through a TLS front, the way Kick's ingest is reached: the dashboard
// host pasted bare is completed to :443/app (here the front's own port), the
// certificate is checked against a test authority, and Kick's encoder
// settings reach the server.
#include "tests/e2e/support.h"

#include "settings/config.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <thread>

namespace {

using namespace e2e;
using torvane::engine;

TEST(Rtmps, KickDestinationStreamsThroughTls)
{
	std::string work_dir = TestWorkDir();
	const std::string host_name = std::string("e2e-ingest.") + torvane::kick_ingest_domain;
	TestAuthority authority;
	ASSERT_TRUE(authority.Create(work_dir, host_name));
	// Before any thread exists: the trust folder and the host name are this
	// process's own, the shared root is left alone.
	std::string error;
	ASSERT_TRUE(PrivateTrustAndHosts(work_dir, authority.ca_cert, host_name, error)) << error;

	RtmpServer backend;
	ASSERT_TRUE(backend.Start(work_dir, "backend"));
	TlsFront front;
	ASSERT_TRUE(front.Start(work_dir, authority.server_cert, authority.server_key, backend.port));
	HostSession session;
	session.work_dir = work_dir;
	ASSERT_TRUE(session.Start());

	torvane::Destination kick;
	kick.name = "Kick";
	kick.platform = "Kick";
	kick.server = "rtmps://E2E-Ingest." + std::string(torvane::kick_ingest_domain) + ":" +
		      std::to_string(front.port) + "/";
	kick.key = "sk_e2e_kick";
	kick.enabled = true;
	torvane::Destination custom;
	custom.name = "Custom RTMPS";
	custom.platform = "Custom";
	custom.server = "rtmps://" + host_name + ":" + std::to_string(front.port) + "/app";
	custom.key = "custom";
	custom.enabled = true;
	torvane::PanelSettings settings = TestSettings({kick, custom});

	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor([] { return AllSending(2); }, std::chrono::seconds(15)))
		<< StateText(0) << " / " << StateText(1);
	OBSDataAutoRelease encoder_settings = obs_encoder_get_settings(engine.video_encoder);
	EXPECT_STREQ(obs_data_get_string(encoder_settings, "profile"), "main");
	EXPECT_STREQ(obs_data_get_string(encoder_settings, "tune"), "zerolatency");
	std::this_thread::sleep_for(Scaled(std::chrono::seconds(5)));
	engine.RequestStopAll();
	ASSERT_TRUE(WaitFor([] { return !engine.IsBusy(); }, std::chrono::seconds(10)));
	EXPECT_EQ(StateText(0), "Ready");
	EXPECT_EQ(StateText(1), "Ready");
	session.Stop();
	front.Stop();
	backend.Stop();

	std::vector<std::string> files = backend.Recordings();
	ASSERT_EQ(files.size(), 2u);
	for (const std::string &file : files) {
		Recording rec;
		ASSERT_TRUE(ProbeRecording(file, rec, error)) << error;
		SCOPED_TRACE(file);
		EXPECT_EQ(rec.video_codec, "h264");
		EXPECT_EQ(rec.video_profile, "Main");
		EXPECT_EQ(rec.audio_codec, "aac");
		EXPECT_EQ(rec.width, 1280u);
		EXPECT_EQ(rec.height, 720u);
		EXPECT_NEAR(rec.frame_rate, 30.0, 0.9);
		EXPECT_GE(rec.duration, 4.0);
	}
}

// A certificate the trust store does not vouch for is refused: the stream
// never goes out in the clear or to an impostor.
TEST(Rtmps, UntrustedCertificateFails)
{
	std::string work_dir = TestWorkDir();
	const std::string host_name = "e2e-untrusted.example";
	TestAuthority trusted, impostor;
	ASSERT_TRUE(trusted.Create(work_dir + "/trusted", host_name));
	ASSERT_TRUE(impostor.Create(work_dir + "/impostor", host_name));
	std::string error;
	ASSERT_TRUE(PrivateTrustAndHosts(work_dir, trusted.ca_cert, host_name, error)) << error;
	RtmpServer backend;
	ASSERT_TRUE(backend.Start(work_dir, "backend"));
	TlsFront front;
	ASSERT_TRUE(front.Start(work_dir, impostor.server_cert, impostor.server_key, backend.port));
	HostSession session;
	session.work_dir = work_dir;
	ASSERT_TRUE(session.Start());

	torvane::Destination custom;
	custom.name = "Impostor";
	custom.platform = "Custom";
	custom.server = "rtmps://" + host_name + ":" + std::to_string(front.port) + "/app";
	custom.key = "k";
	custom.enabled = true;
	torvane::PanelSettings settings = TestSettings({custom});
	ASSERT_TRUE(engine.StartAll(settings, error)) << error;
	ASSERT_TRUE(WaitFor(
		[] { return engine.GetStats(0).state == torvane::DestinationState::Failed; },
		std::chrono::seconds(15)))
		<< StateText(0);
	EXPECT_EQ(StateText(0), "Failed: connection");
	session.Stop();
	front.Stop();
	backend.Stop();
	EXPECT_TRUE(backend.Recordings().empty());
}

} // namespace
