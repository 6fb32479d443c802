// The engine against a real libobs: what a start builds and refuses, how the
// outputs' signals move the records, and what stopping leaves behind. What
// reaches real servers is the end-to-end tests' part.
#include "engine/encoders.h"
#include "engine/engine.h"
#include "tests/support/destinations.h"
#include "tests/support/host.h"
#include "tests/support/system.h"

#include <obs.hpp>

#include <util/base.h>

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

using namespace torvane;
using namespace torvane::test;

namespace {

// Starts towards ports nobody listens on and waits until every record shows
// its refused connection, so that no connect thread is left running.
bool StartRefused(MultistreamEngine &multistream, const PanelSettings &settings)
{
	std::string error;
	EXPECT_TRUE(multistream.StartAll(settings, error)) << error;
	return !multistream.runs.empty() && WaitFor([&] {
		for (const auto &run : multistream.runs)
			if (run->state.load() != DestinationState::Failed)
				return false;
		return true;
	});
}

} // namespace

using EngineStart = ObsHostTest;

TEST_F(EngineStart, OneSharedEncodeFeedsOneOutputPerTickedDestination)
{
	const int port = FreePort();
	PanelSettings settings = SharedAt(720, 30);
	settings.destinations = {Loopback("off", port, false), Loopback("auth", port), Loopback("plain", port)};
	settings.destinations[1].username = "publisher";
	settings.destinations[1].password = " secret ";

	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, settings));
	ASSERT_EQ(multistream.runs.size(), 2u);
	OBSDataAutoRelease audio = obs_encoder_get_settings(multistream.audio_encoder);
	EXPECT_EQ(obs_data_get_int(audio, "bitrate"), 160);
	for (size_t i = 0; i < 2; i++) {
		const DestinationRun &run = *multistream.runs[i];
		const Destination &destination = settings.destinations[i + 1];
		EXPECT_EQ(run.destination_index, i + 1);
		OBSDataAutoRelease service = obs_service_get_settings(run.service);
		EXPECT_EQ(obs_data_get_string(service, "key"), destination.key);
		EXPECT_EQ(obs_data_get_bool(service, "use_auth"), !destination.username.empty());
		EXPECT_EQ(obs_data_get_string(service, "password"), destination.password);
		OBSDataAutoRelease output = obs_output_get_settings(run.output);
		EXPECT_TRUE(obs_data_has_user_value(output, "dyn_bitrate"));
		EXPECT_FALSE(obs_data_get_bool(output, "dyn_bitrate"));
	}
}

TEST_F(EngineStart, RefusesHostsTheStreamsCannotUseAfterReleasingTheLastRun)
{
	const char *const kick_sentence =
		"Kick needs stereo audio at 48 kHz or lower. Set this in OBS Settings > Audio, then try again.";
	const char *const hdr_sentence = "Use an SDR OBS video profile (Rec. 709) for this H.264 multistream.";
	// The host's audio and colour space, the second destination's platform and
	// tick, and the refusal (null: it starts).
	const std::tuple<HostAudio, video_colorspace, const char *, bool, const char *> cases[] = {
		{{48000, SPEAKERS_STEREO}, VIDEO_CS_709, "Kick", true, nullptr},
		{{44100, SPEAKERS_STEREO}, VIDEO_CS_709, "Kick", true, nullptr},
		{{48000, SPEAKERS_MONO}, VIDEO_CS_709, "Kick", true, kick_sentence},
		{{96000, SPEAKERS_STEREO}, VIDEO_CS_SRGB, "Kick", true, kick_sentence},
		{{48000, SPEAKERS_MONO}, VIDEO_CS_601, "Kick", false, nullptr},
		// Only the URL completion ignores the letter case.
		{{48000, SPEAKERS_MONO}, VIDEO_CS_DEFAULT, "kick", true, nullptr},
		{{48000, SPEAKERS_STEREO}, VIDEO_CS_2100_PQ, "Custom", true, hdr_sentence},
		{{48000, SPEAKERS_STEREO}, VIDEO_CS_2100_HLG, "Custom", true, hdr_sentence},
	};
	for (const auto &[audio, colorspace, platform, ticked, refusal] : cases) {
		SCOPED_TRACE(testing::Message() << platform << ticked << " " << audio.samples_per_sec << " Hz "
						<< audio.speakers << " speakers, colour space " << colorspace);
		ResetHostVideo(HostVideo());
		ResetHostAudio(audio);
		const int port = FreePort();
		MultistreamEngine multistream;
		ASSERT_TRUE(StartRefused(multistream, Single(port)));
		OBSWeakOutputAutoRelease earlier = obs_output_get_weak_output(multistream.runs[0]->output);
		HostVideo video;
		video.colorspace = colorspace;
		ResetHostVideo(video);

		PanelSettings settings = Pair(port);
		settings.destinations[1].platform = platform;
		settings.destinations[1].enabled = ticked;
		std::string error;
		EXPECT_EQ(multistream.StartAll(settings, error), refusal == nullptr);
		EXPECT_EQ(OBSOutputAutoRelease(obs_weak_output_get_output(earlier)).Get(), nullptr);
		if (refusal) {
			EXPECT_EQ(error, refusal);
			EXPECT_TRUE(multistream.runs.empty());
			EXPECT_TRUE(multistream.groups.empty());
			continue;
		}
		OBSDataAutoRelease encoder = obs_encoder_get_settings(multistream.VideoEncoderOf(0));
		const bool kick_mode = ticked && std::string(platform) == "Kick";
		EXPECT_STREQ(obs_data_get_string(encoder, "profile"), kick_mode ? "main" : "high");
		EXPECT_EQ(obs_data_has_user_value(encoder, "tune"), kick_mode);
		EXPECT_TRUE(WaitFor([&] { return !multistream.IsBusy(); }));
	}
}

TEST_F(EngineStart, WhenNoOutputStartsTheFailuresStayOnShow)
{
	// x264 refuses high-precision host formats when the outputs start.
	HostVideo p010;
	p010.format = VIDEO_FORMAT_P010;
	ResetHostVideo(p010);
	PanelSettings settings = Pair(FreePort());
	MultistreamEngine multistream;
	std::string error;
	EXPECT_FALSE(multistream.StartAll(settings, error));
	EXPECT_EQ(error, "No destination could start. Check OBS video/audio settings and the destination status.");
	ASSERT_EQ(multistream.runs.size(), 2u);
	EXPECT_FALSE(multistream.IsBusy());
	// Stop all leaves the failures on show, and settles a live record on Ready
	// even when its output has already ended: only a forced stop answers then.
	Emit(multistream.runs[0]->output, "start");
	multistream.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return TextOf(multistream, 0) == "Ready"; }));
	EXPECT_EQ(TextOf(multistream, 1), "Failed: check settings");
	EXPECT_EQ(multistream.GetStats(1).last_code, OBS_OUTPUT_ERROR);
}

// A video encoder that never encodes, standing in for one this machine lacks.
void RegisterStandIn(const char *id, const char *codec, uint32_t caps)
{
	obs_encoder_info info = {};
	info.id = id;
	info.type = OBS_ENCODER_VIDEO;
	info.codec = codec;
	info.caps = caps;
	info.get_name = [](void *) {
		return "Stand-in";
	};
	info.create = [](obs_data_t *, obs_encoder_t *) -> void * {
		return nullptr;
	};
	info.destroy = bfree;
	info.encode = [](void *, encoder_frame *, encoder_packet *, bool *) {
		return false;
	};
	obs_register_encoder(&info);
}

TEST_F(EngineStart, EncoderChoicesAreWhatThisObsOffersForRtmp)
{
	// No hardware here: the hardware choice streams with x264.
	const ResolvedEncoder fallback = ResolveEncoder(hardware_h264_encoder);
	EXPECT_EQ(fallback.id, "obs_x264");
	EXPECT_TRUE(fallback.fell_back);
	PanelSettings settings = Single(FreePort());
	settings.encoder = hardware_h264_encoder;
	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, settings));
	EXPECT_STREQ(obs_encoder_get_id(multistream.VideoEncoderOf(0)), "obs_x264");

	// An NVENC alias, an internal fallback, a codec RTMP cannot carry, and a
	// VAAPI encoder that the hardware choice takes.
	RegisterStandIn("jim_nvenc", "h264", OBS_ENCODER_CAP_DEPRECATED);
	RegisterStandIn("ffmpeg_nvenc", "h264", OBS_ENCODER_CAP_INTERNAL);
	RegisterStandIn("torvane_vp9", "vp9", 0);
	RegisterStandIn("ffmpeg_vaapi_tex", "h264", 0);
	const ResolvedEncoder hardware = ResolveEncoder(hardware_h264_encoder);
	EXPECT_EQ(hardware.id, "ffmpeg_vaapi_tex");
	EXPECT_FALSE(hardware.fell_back);

	const std::string rtmp_codecs = std::string(";") + obs_get_output_supported_video_codecs("rtmp_output") + ";";
	std::set<std::string> ids;
	for (const EncoderOption &option : VideoEncoderOptions()) {
		const char *id = option.id.c_str();
		EXPECT_TRUE(ids.insert(option.id).second) << id << " is listed twice";
		EXPECT_EQ(obs_get_encoder_caps(id) & (OBS_ENCODER_CAP_DEPRECATED | OBS_ENCODER_CAP_INTERNAL), 0u) << id;
		EXPECT_EQ(option.codec, obs_get_encoder_codec(id));
		EXPECT_NE(rtmp_codecs.find(";" + option.codec + ";"), std::string::npos) << id;
	}
	EXPECT_TRUE(ids.count("obs_x264") && ids.count("ffmpeg_vaapi_tex"));
	EXPECT_EQ(ids.count("ffmpeg_svt_av1"), obs_encoder_get_display_name("ffmpeg_svt_av1") ? 1u : 0u);
	for (const char *excluded : {"jim_nvenc", "ffmpeg_nvenc", "torvane_vp9", "ffmpeg_aac"})
		EXPECT_EQ(ids.count(excluded), 0u) << excluded;
}

using RunSignals = ObsHostTest;

TEST_F(RunSignals, MoveTheirOwnRecordWhateverItShowedUnlessAStopWasRequested)
{
	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, Pair(FreePort())));
	DestinationRun &run = *multistream.runs[1];

	constexpr int32_t untouched = 11;
	using S = DestinationState;
	// From, whether a stop was requested, the signal and its code, to, the
	// last code then.
	const std::tuple<S, bool, const char *, std::optional<long long>, S, int32_t> cases[] = {
		{S::Failed, false, "start", {}, S::Sending, untouched},
		{S::Sending, false, "reconnect", {}, S::Reconnecting, untouched},
		{S::Reconnecting, false, "reconnect_success", {}, S::Sending, untouched},
		{S::Sending, false, "stop", {}, S::Ready, 0},
		{S::Connecting, false, "stop", OBS_OUTPUT_BAD_PATH, S::Failed, OBS_OUTPUT_BAD_PATH},
		// Codes wider than 32 bits are narrowed, not clamped.
		{S::Sending, false, "stop", 0x100000002ll, S::Failed, 2},
		{S::Stopping, true, "start", {}, S::Stopping, untouched},
		{S::Stopping, true, "reconnect", {}, S::Stopping, untouched},
		{S::Failed, true, "stop", OBS_OUTPUT_DISCONNECTED, S::Ready, OBS_OUTPUT_DISCONNECTED},
	};
	for (const auto &[from, stop_requested, signal, code, to, last_code] : cases) {
		SCOPED_TRACE(testing::Message() << signal << " in " << DestinationStateText(from, 0)
						<< (stop_requested ? " after a stop request" : ""));
		run.state = from;
		run.last_code = untouched;
		run.stop_requested = stop_requested;
		Emit(run.output, signal, code);
		EXPECT_EQ(run.state.load(), to);
		EXPECT_EQ(run.last_code.load(), last_code);
		EXPECT_EQ(TextOf(multistream, 0), "Failed: connection");
	}
}

TEST_F(RunSignals, ADroppedConnectionRetriesAndStaysBusyUntilStopAll)
{
	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, Single(FreePort())));
	obs_output_t *output = multistream.runs[0]->output;
	// What the output's send thread reports when the server goes away.
	std::thread([output] { obs_output_signal_stop(output, OBS_OUTPUT_DISCONNECTED); }).join();
	EXPECT_EQ(TextOf(multistream, 0), "Reconnecting...");
	// Even a record that shows a failure is busy while its output retries.
	Emit(output, "stop", OBS_OUTPUT_CONNECT_FAILED);
	EXPECT_TRUE(multistream.IsBusy());
	std::string error;
	EXPECT_FALSE(multistream.StartAll(Single(FreePort()), error));
	EXPECT_EQ(error, "A stream is still running or stopping.");
	EXPECT_EQ(multistream.runs[0]->output, output);

	multistream.RequestStopAll();
	EXPECT_TRUE(WaitFor([&] { return !multistream.IsBusy(); }));
	EXPECT_EQ(TextOf(multistream, 0), "Ready");
}

// The engine's lines of OBS's log.
std::mutex torvane_lines_mutex;
std::string torvane_lines;

void KeepTorvaneLines(int, const char *format, va_list args, void *)
{
	char line[1024];
	vsnprintf(line, sizeof(line), format, args);
	std::lock_guard<std::mutex> lock(torvane_lines_mutex);
	if (std::string_view(line).rfind("[Torvane]", 0) == 0)
		torvane_lines += std::string(line) + "\n";
}

// A failed run shows OBS's own words for the failure, unless they hold any of
// the destination's connection; OBS's log names the run by its index alone.
TEST_F(RunSignals, AFailureKeepsObsWordsForItButNothingOfTheConnection)
{
	log_handler_t host_log;
	void *host_log_param;
	base_get_log_handler(&host_log, &host_log_param);
	base_set_log_handler(KeepTorvaneLines, nullptr);
	MultistreamEngine multistream;
	const int port = FreePort();
	PanelSettings settings = Single(port);
	settings.destinations[0].username = "user-single";
	settings.destinations[0].password = "secret-single";
	ASSERT_TRUE(StartRefused(multistream, settings));
	DestinationRun &run = *multistream.runs[0];
	EXPECT_EQ(multistream.GetStats(0).last_error.find("key-single"), std::string::npos);

	const std::string reset = "The connection was reset by the peer.";
	const std::string url = "rtmp://127.0.0.1:" + std::to_string(port) + "/app";
	for (const std::string &words : std::initializer_list<std::string>{
		     reset, "Could not reach " + url, "No answer from 127.0.0.1", "Key KEY-SINGLE refused",
		     "user-single is unknown", "secret-single is wrong"}) {
		obs_output_set_last_error(run.output, words.c_str());
		Emit(run.output, "stop", OBS_OUTPUT_CONNECT_FAILED);
		EXPECT_EQ(multistream.GetStats(0).last_error, words == reset ? reset : "") << words;
	}
	std::string error;
	EXPECT_FALSE(multistream.StartDestination(settings, 1, error));
	base_set_log_handler(host_log, host_log_param);

	std::lock_guard<std::mutex> lock(torvane_lines_mutex);
	for (const std::string &line : {"index 0 failed: Failed: connection (code -2). OBS: " + reset,
					"[Torvane] Starting the destination at index 1 failed: " + error})
		EXPECT_NE(torvane_lines.find(line), std::string::npos) << torvane_lines;
	for (const char *secret : {"127.0.0.1", "key-single", "user-single", "secret-single"})
		EXPECT_EQ(torvane_lines.find(secret), std::string::npos) << secret;
}

using EngineStop = ObsHostTest;

// The flag goes in before Stopping: a handler that still sees no stop request
// could otherwise turn a stop the user asked for into a failure.
TEST_F(EngineStop, NoRecordIsEverSeenStoppingWithoutItsStopRequest)
{
	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, Single(FreePort())));
	DestinationRun &run = *multistream.runs[0];

	// Odd rounds reset the record, even rounds stop it; the watcher trusts only
	// a pair of loads that one even round enclosed.
	std::atomic<int> round{0};
	std::atomic<bool> done{false}, torn{false};
	std::thread watcher([&] {
		while (!done) {
			const int before = round;
			const DestinationState state = run.state;
			const bool requested = run.stop_requested;
			if (round == before && before % 2 == 0 && state == DestinationState::Stopping && !requested)
				torn = true;
		}
	});
	const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(2));
	for (int i = 0; !torn && std::chrono::steady_clock::now() < deadline; i++) {
		round = 2 * i + 1;
		run.state = DestinationState::Sending;
		run.stop_requested = false;
		round = 2 * i + 2;
		multistream.RequestStopAll();
	}
	done = true;
	watcher.join();
	EXPECT_FALSE(torn);
}

TEST_F(EngineStop, StopAndReleaseLeavesNothingASignalCouldReach)
{
	MultistreamEngine multistream;
	ASSERT_TRUE(StartRefused(multistream, Pair(FreePort())));
	for (const auto &run : multistream.runs)
		Emit(run->output, "start");
	// One output outlives its record, as one held by a late output thread does.
	OBSOutputAutoRelease survivor = obs_output_get_ref(multistream.runs[0]->output);
	OBSWeakOutputAutoRelease released = obs_output_get_weak_output(multistream.runs[1]->output);
	OBSWeakServiceAutoRelease service = obs_service_get_weak_service(multistream.runs[1]->service);
	OBSWeakEncoderAutoRelease video = obs_encoder_get_weak_encoder(multistream.VideoEncoderOf(0));
	OBSWeakEncoderAutoRelease audio = obs_encoder_get_weak_encoder(multistream.audio_encoder);

	multistream.StopAndRelease();
	EXPECT_TRUE(multistream.runs.empty());
	EXPECT_EQ(OBSOutputAutoRelease(obs_weak_output_get_output(released)).Get(), nullptr);
	EXPECT_EQ(OBSServiceAutoRelease(obs_weak_service_get_service(service)).Get(), nullptr);

	// A handler still connected would now write into a freed record, which
	// the AddressSanitizer lane reports.
	Emit(survivor, "start");
	Emit(survivor, "stop", OBS_OUTPUT_DISCONNECTED);

	// OBS 32 lets an output keep its encoders alive (OBS 30 does not): the
	// encoders must be gone once the last output that used them is.
	survivor = nullptr;
	EXPECT_EQ(OBSEncoderAutoRelease(obs_weak_encoder_get_encoder(video)).Get(), nullptr);
	EXPECT_EQ(OBSEncoderAutoRelease(obs_weak_encoder_get_encoder(audio)).Get(), nullptr);
}
