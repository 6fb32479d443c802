// Starting every enabled destination on one shared H.264 and AAC encode.
#include "engine/engine.h"
#include "engine/encoders.h"
#include "settings/kick.h"
#include "settings/platform.h"
#include "settings/quality.h"
#include "settings/validation.h"
#include "settings/texts.h"

#include <algorithm>
#include <memory>
#include <string>

// The encoder's frame-rate divisor is what lets 60 fps hosts send 30 fps
// streams; libobs has it from 30.2 on.
static_assert(LIBOBS_API_VER >= MAKE_SEMANTIC_VERSION(30, 2, 0), "OBS Studio 30.2 or newer is required");

namespace torvane {

namespace {

// CBR at the chosen bitrate with a keyframe every two seconds is what every
// encoder takes by the same names; x264's preset, profile and tune are its own.
OBSDataAutoRelease VideoEncoderSettings(const std::string &encoder_id, int32_t bitrate, bool kick_mode)
{
	OBSDataAutoRelease data = obs_data_create();
	obs_data_set_string(data, "rate_control", "CBR");
	obs_data_set_int(data, "bitrate", bitrate);
	obs_data_set_int(data, "keyint_sec", keyframe_interval_sec);
	if (encoder_id == default_encoder) {
		obs_data_set_string(data, "preset", "veryfast");
		// Kick mode streams main profile without B-frames or lookahead.
		obs_data_set_string(data, "profile", kick_mode ? "main" : "high");
		if (kick_mode)
			obs_data_set_string(data, "tune", "zerolatency");
	} else if (kick_mode) {
		obs_data_set_int(data, "bf", 0);
	}
	return data;
}

OBSDataAutoRelease ServiceSettings(const Destination &destination)
{
	OBSDataAutoRelease data = obs_data_create();
	obs_data_set_string(data, "server", CompleteKickServer(destination).c_str());
	obs_data_set_string(data, "key", destination.key.c_str());
	obs_data_set_bool(data, "use_auth", !destination.username.empty());
	obs_data_set_string(data, "username", destination.username.c_str());
	obs_data_set_string(data, "password", destination.password.c_str());
	return data;
}

// Kick accepts only stereo audio at this sample rate or lower.
constexpr uint32_t kick_max_sample_rate = 48000;

bool HostAudioSuitsKick()
{
	obs_audio_info audio = {};
	return obs_get_audio_info(&audio) && audio.speakers == SPEAKERS_STEREO &&
	       audio.samples_per_sec <= kick_max_sample_rate;
}

bool IsHdr(video_colorspace colorspace)
{
	return colorspace == VIDEO_CS_2100_PQ || colorspace == VIDEO_CS_2100_HLG;
}

bool HasEnabledKickDestination(const PanelSettings &settings)
{
	return std::any_of(settings.destinations.begin(), settings.destinations.end(), [](const Destination &d) {
		return d.enabled && ParsePlatform(d.platform) == Platform::Kick;
	});
}

// For a type that no loaded module registered, libobs creates a placeholder
// object instead of failing, and a placeholder output never finishes a force
// stop (releasing it then waits forever). A missing module therefore has to
// count as a failed creation before anything is created.
obs_encoder_t *CreateVideoEncoder(const char *id, const char *name, obs_data_t *settings)
{
	return obs_encoder_get_display_name(id) ? obs_video_encoder_create(id, name, settings, nullptr) : nullptr;
}

obs_encoder_t *CreateAudioEncoder(const char *id, const char *name, obs_data_t *settings)
{
	return obs_encoder_get_display_name(id) ? obs_audio_encoder_create(id, name, settings, 0, nullptr) : nullptr;
}

obs_service_t *CreateService(const char *id, const char *name, obs_data_t *settings)
{
	return obs_service_get_display_name(id) ? obs_service_create(id, name, settings, nullptr) : nullptr;
}

obs_output_t *CreateOutput(const char *id, const char *name, obs_data_t *settings)
{
	return obs_output_get_display_name(id) ? obs_output_create(id, name, settings, nullptr) : nullptr;
}

bool EncodesForKick(obs_encoder_t *video_encoder)
{
	OBSDataAutoRelease data = obs_encoder_get_settings(video_encoder);
	return obs_data_has_user_value(data, "tune") || obs_data_has_user_value(data, "bf");
}

// Releases whatever an earlier start left, apart from the records themselves
// with `keep_records`, and creates the shared encoders on the host's mix. False
// with one sentence when the host or the quality cannot stream; the engine is
// then idle without outputs, apart from a refusal for a host that is not up,
// which leaves it untouched.
bool StartEncoders(MultistreamEngine &engine, const PanelSettings &settings, bool keep_records, std::string &error)
{
	// obs_get_video and obs_get_audio dereference the core, so a caller that
	// runs before libobs has started must be turned away first.
	video_t *video = obs_initialized() ? obs_get_video() : nullptr;
	audio_t *audio = obs_initialized() ? obs_get_audio() : nullptr;
	if (!video || !audio) {
		error = Tr(Txt::VideoNotReady);
		return false;
	}

	if (keep_records)
		engine.ReleaseOutputs();
	else
		engine.StopAndRelease();

	obs_video_info video_info = {};
	obs_get_video_info(&video_info);

	const bool kick_mode = HasEnabledKickDestination(settings);
	if (kick_mode && !HostAudioSuitsKick()) {
		error = Tr(Txt::KickAudio, {std::to_string(kick_max_sample_rate / 1000)});
		return false;
	}

	if (IsHdr(video_info.colorspace)) {
		error = Tr(Txt::SdrOnly);
		return false;
	}

	{
		const std::string encoder_id = ResolveEncoder(settings.encoder).id;
		OBSDataAutoRelease video_settings = VideoEncoderSettings(encoder_id, settings.bitrate, kick_mode);
		engine.video_encoder = CreateVideoEncoder(encoder_id.c_str(), "Torvane H264", video_settings);
	}
	{
		OBSDataAutoRelease audio_settings = obs_data_create();
		obs_data_set_int(audio_settings, "bitrate", audio_bitrate_kbps);
		engine.audio_encoder = CreateAudioEncoder("ffmpeg_aac", "Torvane AAC", audio_settings);
	}
	if (!engine.video_encoder || !engine.audio_encoder) {
		error = Tr(Txt::NoEncoders);
		engine.ReleaseOutputs();
		return false;
	}

	obs_encoder_set_video(engine.video_encoder, video);
	obs_encoder_set_audio(engine.audio_encoder, audio);
	obs_encoder_set_preferred_video_format(engine.video_encoder, VIDEO_FORMAT_NV12);

	const EncodedSize size = ScaledOutputSize(video_info.output_width, video_info.output_height, settings.height);
	obs_encoder_set_scaled_size(engine.video_encoder, size.width, size.height);
	obs_encoder_set_frame_rate_divisor(engine.video_encoder,
					   FrameRateDivisor(video_info.fps_num, video_info.fps_den, settings.fps));
	return true;
}

// The record of the destination at `position`, its service and output made
// and bound to the shared encoders; null when OBS's RTMP modules are missing.
std::unique_ptr<DestinationRun> CreateRun(MultistreamEngine &engine, const PanelSettings &settings, size_t position)
{
	const Destination &destination = settings.destinations[position];
	auto run = std::make_unique<DestinationRun>();
	run->destination_index = position;
	run->journal = &engine.journal;
	const std::string name = "Torvane destination " + std::to_string(position + 1);
	{
		OBSDataAutoRelease service_settings = ServiceSettings(destination);
		run->service = CreateService("rtmp_custom", name.c_str(), service_settings);
	}
	{
		OBSDataAutoRelease output_settings = obs_data_create();
		obs_data_set_bool(output_settings, "dyn_bitrate", false);
		run->output = CreateOutput("rtmp_output", name.c_str(), output_settings);
	}
	if (!run->service || !run->output)
		return nullptr;

	obs_output_set_service(run->output, run->service);
	obs_output_set_video_encoder(run->output, engine.video_encoder);
	obs_output_set_audio_encoder(run->output, engine.audio_encoder, 0);
	obs_output_set_reconnect_settings(run->output, reconnect_retries, reconnect_delay_sec);
	ConnectRunHandlers(*run);
	return run;
}

bool StartRun(DestinationRun &run)
{
	// Connecting goes in first: the output may report "start" before
	// obs_output_start has even returned.
	StoreState(run, DestinationState::Connecting);
	if (obs_output_start(run.output))
		return true;
	run.last_code.exchange(OBS_OUTPUT_ERROR);
	RecordFailure(run);
	StoreState(run, DestinationState::Failed);
	return false;
}

// Writes the sentence of a start that was refused or failed to OBS's log when
// the start returns. The sentences name destinations by number, never by
// their settings.
struct StartLog {
	std::string start;
	const std::string &error;
	bool started = false;
	~StartLog()
	{
		if (!started)
			blog(LOG_WARNING, "[Torvane] %s failed: %s", start.c_str(), error.c_str());
	}
};

} // namespace

EncodedSize ScaledOutputSize(uint32_t output_width, uint32_t output_height, int32_t height)
{
	if (output_width == 0 || output_height == 0 || height < 1)
		return EncodedSize();

	const int64_t target_width = int64_t(height) * 16 / 9;
	const double scale = std::min({1.0, double(height) / output_height, double(target_width) / output_width});

	// x264 needs even sides for 4:2:0.
	auto side = [scale](uint32_t length) {
		const auto scaled = static_cast<uint32_t>(length * scale) & ~1u;
		return std::max(scaled, 2u);
	};
	return EncodedSize{side(output_width), side(output_height)};
}

uint32_t FrameRateDivisor(uint32_t fps_num, uint32_t fps_den, int32_t fps)
{
	const uint32_t per_frame = fps_den * static_cast<uint32_t>(fps);
	// Unvalidated quality or a host without video must not divide by zero.
	if (per_frame == 0)
		return 1;
	const uint32_t divisor = (fps_num + per_frame - 1) / per_frame;
	return divisor ? divisor : 1;
}

bool MultistreamEngine::StartAll(const PanelSettings &settings, std::string &error)
{
	StartLog log{"Start all", error};
	if (IsBusy()) {
		error = Tr(Txt::StillRunning);
		return false;
	}

	error = ValidateSettings(settings);
	if (error.empty())
		error = CheckEncoderChoices(settings, [&settings](size_t i) { return settings.destinations[i].enabled; });
	if (!error.empty())
		return false;

	if (!StartEncoders(*this, settings, false, error))
		return false;

	for (size_t position = 0; position < settings.destinations.size(); position++) {
		if (!settings.destinations[position].enabled)
			continue;
		std::unique_ptr<DestinationRun> run = CreateRun(*this, settings, position);
		if (!run) {
			error = Tr(Txt::NoRtmp);
			StopAndRelease();
			return false;
		}
		runs.push_back(std::move(run));
	}

	bool any_started = false;
	for (const auto &run : runs)
		any_started |= StartRun(*run);
	if (!any_started) {
		error = Tr(Txt::NothingStarted);
		return false;
	}
	return log.started = true;
}

bool MultistreamEngine::StartDestination(const PanelSettings &settings, uint64_t destination_index, std::string &error)
{
	StartLog log{"Starting the destination at index " + std::to_string(destination_index), error};
	if (destination_index >= settings.destinations.size()) {
		error = Tr(Txt::NotInList, {std::to_string(destination_index + 1)});
		return false;
	}
	if (IsDestinationBusy(destination_index)) {
		error = Tr(Txt::StillRunning);
		return false;
	}

	// The quality and this destination as a start checks them, then this
	// destination against the ones that stream: the same server and key twice
	// is refused as it is among ticked destinations.
	error = ValidateSelection(settings,
				  [&](size_t i) { return i == destination_index && settings.destinations[i].enabled; });
	if (error.empty())
		error = ValidateSelection(settings,
					  [&](size_t i) { return i == destination_index || IsDestinationBusy(i); });
	if (error.empty())
		error = CheckEncoderChoices(settings, [&](size_t i) { return i == destination_index; });
	if (!error.empty())
		return false;

	// With a stream running the new output joins its encoders, which then
	// stay as they are; otherwise it starts afresh like Start all.
	const bool join = IsBusy();
	if (join) {
		const Destination &destination = settings.destinations[destination_index];
		if (ParsePlatform(destination.platform) == Platform::Kick && !EncodesForKick(video_encoder)) {
			error = Tr(Txt::KickEncoder);
			return false;
		}
	} else if (!StartEncoders(*this, settings, true, error)) {
		return false;
	}

	std::unique_ptr<DestinationRun> run = CreateRun(*this, settings, destination_index);
	if (!run) {
		error = Tr(Txt::NoRtmp);
		if (!join)
			ReleaseOutputs();
		return false;
	}

	// The new record replaces the destination's resting one, in list order.
	runs.erase(std::remove_if(runs.begin(), runs.end(),
				  [&](const std::unique_ptr<DestinationRun> &r) {
					  return r->destination_index == destination_index;
				  }),
		   runs.end());
	auto at = std::find_if(runs.begin(), runs.end(), [&](const std::unique_ptr<DestinationRun> &r) {
		return r->destination_index > destination_index;
	});
	DestinationRun &started = **runs.insert(at, std::move(run));
	if (!StartRun(started)) {
		error = Tr(Txt::NothingStarted);
		return false;
	}
	return log.started = true;
}

} // namespace torvane
