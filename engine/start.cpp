// Starting every enabled destination: one video encode per distinct quality
// and one AAC encode shared by all.
#include "engine/engine.h"
#include "engine/encoders.h"
#include "engine/pictures.h"
#include "settings/kick.h"
#include "settings/platform.h"
#include "settings/protocol.h"
#include "settings/quality.h"
#include "settings/validation.h"
#include "settings/texts.h"

#include <algorithm>
#include <cinttypes>
#include <memory>
#include <string>

// The encoder's frame-rate divisor is what lets 60 fps hosts send 30 fps
// streams; libobs has it from 30.2 on.
static_assert(LIBOBS_API_VER >= MAKE_SEMANTIC_VERSION(30, 2, 0), "OBS Studio 30.2 or newer is required");

namespace torvane {

namespace {

// CBR at the chosen bitrate with a keyframe every two seconds is what every
// encoder takes by the same names; x264's preset, profile and tune are its own.
OBSDataAutoRelease VideoEncoderSettings(const std::string &encoder_id, int32_t bitrate, GroupMode mode)
{
	OBSDataAutoRelease data = obs_data_create();
	// An MPEG-TS receiver may join at any keyframe and finds the stream's
	// headers there only when the encoder repeats them.
	if (mode.repeat_headers)
		obs_data_set_bool(data, "repeat_headers", true);
	obs_data_set_string(data, "rate_control", "CBR");
	obs_data_set_int(data, "bitrate", bitrate);
	obs_data_set_int(data, "keyint_sec", keyframe_interval_sec);
	if (encoder_id == default_encoder) {
		obs_data_set_string(data, "preset", "veryfast");
		// Kick mode streams main profile without B-frames or lookahead.
		obs_data_set_string(data, "profile", mode.kick ? "main" : "high");
		if (mode.kick)
			obs_data_set_string(data, "tune", "zerolatency");
	} else if (mode.kick) {
		obs_data_set_int(data, "bf", 0);
	}
	return data;
}

OBSDataAutoRelease ServiceSettings(const Destination &destination)
{
	OBSDataAutoRelease data = obs_data_create();
	obs_data_set_string(data, "server", CompleteKickServer(destination).c_str());
	obs_data_set_string(data, "key", destination.key.c_str());
	// rtmp_custom hands out the password (SRT's passphrase) only with use_auth.
	obs_data_set_bool(data, "use_auth", !destination.username.empty() || !destination.password.empty());
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

// A destination's picture and quality, with the encoder its choice comes to
// here: the destinations with equal keys share one encoder.
EncodeKey GroupKey(const PanelSettings &settings, const Destination &destination)
{
	EncodeKey key{destination.picture, QualityOf(settings, destination)};
	key.quality.encoder = ResolveEncoder(key.quality.encoder).id;
	return key;
}

// The mix a group encodes: the host's for the program, else the one a running
// group of the same picture and size has, else a new one.
std::shared_ptr<PictureMix> MixFor(MultistreamEngine &engine, const EncodeKey &key)
{
	if (key.picture.kind == PictureKind::Program)
		return nullptr;
	const EncodedSize size = PictureSize(key.picture, key.quality.height);
	for (const auto &group : engine.groups) {
		const PictureMix *mix = group->mix.get();
		if (mix && mix->picture == key.picture && mix->width == size.width && mix->height == size.height)
			return group->mix;
	}
	return CreatePictureMix(key.picture, size);
}

bool SendsMpegTs(const Destination &destination)
{
	return IsMpegTs(ProtocolOf(destination.server));
}

// What a destination asks of the encoder it joins.
GroupMode ModeFor(const Destination &destination)
{
	return GroupMode{ParsePlatform(destination.platform) == Platform::Kick, SendsMpegTs(destination)};
}

// A group streams in Kick mode when an enabled Kick destination is in it, and
// repeats its headers when an enabled SRT or RIST destination is.
GroupMode EnabledModeOf(const PanelSettings &settings, const EncodeKey &key)
{
	GroupMode mode;
	for (const Destination &d : settings.destinations) {
		if (d.enabled && GroupKey(settings, d) == key)
			mode |= ModeFor(d);
	}
	return mode;
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

// The host's mix and audio, or null for both when libobs is not up.
bool HostMedia(video_t *&video, audio_t *&audio, std::string &error)
{
	// obs_get_video and obs_get_audio dereference the core, so a caller that
	// runs before libobs has started must be turned away first.
	video = obs_initialized() ? obs_get_video() : nullptr;
	audio = obs_initialized() ? obs_get_audio() : nullptr;
	if (video && audio)
		return true;
	error = Tr(Txt::VideoNotReady);
	return false;
}

// Whether the host can stream these qualities: Kick's audio limit for a group
// in Kick mode, and SDR.
bool HostSuits(const std::vector<std::pair<EncodeKey, GroupMode>> &keys, std::string &error)
{
	const bool kick_mode = std::any_of(keys.begin(), keys.end(), [](const auto &key) { return key.second.kick; });
	if (kick_mode && !HostAudioSuitsKick()) {
		error = Tr(Txt::KickAudio, {std::to_string(kick_max_sample_rate / 1000)});
		return false;
	}
	obs_video_info video_info = {};
	obs_get_video_info(&video_info);
	if (IsHdr(video_info.colorspace)) {
		error = Tr(Txt::SdrOnly);
		return false;
	}
	return true;
}

// Creates the video encoder of a group on the host's mix, with its size and
// frame rate set before it first initialises, and the shared audio encoder
// when there is none. False when an encoder could not be made: the group is
// then left out, and the audio encoder is there as before.
bool CreateGroup(MultistreamEngine &engine, const EncodeKey &encode, GroupMode mode, video_t *video, audio_t *audio)
{
	const Quality &key = encode.quality;
	auto group = std::make_unique<EncoderGroup>();
	group->quality = key;
	group->picture = encode.picture;
	group->kick_mode = mode.kick;
	group->repeat_headers = mode.repeat_headers;
	group->mix = MixFor(engine, encode);
	if (encode.picture.kind != PictureKind::Program && !group->mix)
		return false;
	// The lowest number no running group has.
	while (std::any_of(engine.groups.begin(), engine.groups.end(),
			   [&](const auto &other) { return other->number == group->number; }))
		group->number++;
	const std::string name = group->number == 1 ? "Torvane H264" : "Torvane H264 " + std::to_string(group->number);
	{
		OBSDataAutoRelease video_settings = VideoEncoderSettings(key.encoder, key.bitrate, mode);
		group->video_encoder = CreateVideoEncoder(key.encoder.c_str(), name.c_str(), video_settings);
	}
	if (!engine.audio_encoder) {
		OBSDataAutoRelease audio_settings = obs_data_create();
		obs_data_set_int(audio_settings, "bitrate", audio_bitrate_kbps);
		engine.audio_encoder = CreateAudioEncoder("ffmpeg_aac", "Torvane AAC", audio_settings);
		if (engine.audio_encoder)
			obs_encoder_set_audio(engine.audio_encoder, audio);
	}
	if (!group->video_encoder || !engine.audio_encoder)
		return false;

	obs_encoder_t *encoder = group->video_encoder;
	obs_encoder_set_video(encoder, group->mix ? group->mix->video : video);
	obs_encoder_set_preferred_video_format(encoder, VIDEO_FORMAT_NV12);
	obs_video_info video_info = {};
	obs_get_video_info(&video_info);
	const EncodedSize size = ScaledOutputSize(video_info.output_width, video_info.output_height, key.height);
	// libobs drops a scaled size equal to the host's, and a GPU scale type
	// without one would still give the encoder a mix of its own. A vertical
	// mix has the size it is sent at.
	if (encode.picture.kind != PictureKind::Vertical && size.width &&
	    (size.width != video_info.output_width || size.height != video_info.output_height)) {
		obs_encoder_set_scaled_size(encoder, size.width, size.height);
		obs_encoder_set_gpu_scale_type(encoder, OBS_SCALE_BICUBIC);
	}
	obs_encoder_set_frame_rate_divisor(encoder, FrameRateDivisor(video_info.fps_num, video_info.fps_den, key.fps));
	engine.groups.push_back(std::move(group));
	return true;
}

// The record of the destination at `position`, its service and output made
// and bound to its group's encoder and the audio encoder; null when OBS's
// module of its protocol is missing. SRT and RIST go out through OBS's MPEG-TS
// output, which reads the same service.
std::unique_ptr<DestinationRun> CreateRun(MultistreamEngine &engine, const PanelSettings &settings, size_t position,
					  EncoderGroup &group)
{
	const Destination &destination = settings.destinations[position];
	auto run = std::make_unique<DestinationRun>();
	run->destination_index = position;
	run->journal = &engine.journal;
	run->group = &group;
	const std::string name = "Torvane destination " + std::to_string(position + 1);
	{
		OBSDataAutoRelease service_settings = ServiceSettings(destination);
		run->service = CreateService("rtmp_custom", name.c_str(), service_settings);
	}
	{
		OBSDataAutoRelease output_settings = obs_data_create();
		obs_data_set_bool(output_settings, "dyn_bitrate", false);
		run->mpegts = SendsMpegTs(destination);
		run->output = CreateOutput(run->mpegts ? "ffmpeg_mpegts_muxer" : "rtmp_output", name.c_str(),
					   output_settings);
	}
	if (!run->service || !run->output)
		return nullptr;

	obs_output_set_service(run->output, run->service);
	obs_output_set_video_encoder(run->output, group.video_encoder);
	obs_output_set_audio_encoder(run->output, group.obs_stream ? group.audio_encoder : engine.audio_encoder, 0);
	obs_output_set_reconnect_settings(run->output, reconnect_retries, reconnect_delay_sec);
	ConnectRunHandlers(*run);
	return run;
}

// The group that sends OBS's own stream, made with references to its encoders
// when there is none; null when they are gone already.
EncoderGroup *ObsStreamGroup(MultistreamEngine &engine, const ObsStreamEncoders &obs)
{
	for (const auto &group : engine.groups) {
		if (group->obs_stream && group->video_encoder.Get() == obs.video)
			return group.get();
	}
	auto group = std::make_unique<EncoderGroup>();
	group->obs_stream = true;
	group->number = 0; // its encoders keep OBS's names
	group->video_encoder = obs_encoder_get_ref(obs.video);
	group->audio_encoder = obs_encoder_get_ref(obs.audio);
	if (!group->video_encoder || !group->audio_encoder)
		return nullptr;
	engine.groups.push_back(std::move(group));
	return engine.groups.back().get();
}

// A record that takes the place of the destination's resting one, in list order.
DestinationRun &PlaceRun(MultistreamEngine &engine, std::unique_ptr<DestinationRun> run)
{
	const uint64_t index = run->destination_index;
	std::vector<std::unique_ptr<DestinationRun>> &runs = engine.runs;
	runs.erase(
		std::remove_if(runs.begin(), runs.end(),
			       [&](const std::unique_ptr<DestinationRun> &r) { return r->destination_index == index; }),
		runs.end());
	auto at = std::find_if(runs.begin(), runs.end(),
			       [&](const std::unique_ptr<DestinationRun> &r) { return r->destination_index > index; });
	return **runs.insert(at, std::move(run));
}

// A destination that could not join OBS's stream: a failed record that shows
// the reason on its row.
void RefuseRun(MultistreamEngine &engine, size_t position, const std::string &sentence)
{
	auto run = std::make_unique<DestinationRun>();
	run->destination_index = position;
	run->journal = &engine.journal;
	run->last_error = sentence;
	blog(LOG_WARNING, "[Torvane] The destination at index %" PRIu64 " was refused: %s", uint64_t(position),
	     sentence.c_str());
	StoreState(PlaceRun(engine, std::move(run)), DestinationState::Failed);
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

std::string ObsStreamProblem(const ObsStreamEncoders &obs)
{
	if (obs.multitrack)
		return Tr(Txt::ObsStreamMultitrack);
	if (!obs.live || !obs.video || !obs.audio || !obs_encoder_active(obs.video))
		return Tr(Txt::ObsStreamNotLive);
	return std::string();
}

bool MultistreamEngine::StartAll(const PanelSettings &settings, std::string &error, const ObsStreamEncoders &obs)
{
	StartLog log{"Start all", error};
	if (IsBusy()) {
		error = Tr(Txt::StillRunning);
		return false;
	}

	error = ValidateSettings(settings);
	if (error.empty())
		error = CheckEncoderChoices(settings,
					    [&settings](size_t i) { return settings.destinations[i].enabled; });
	if (error.empty())
		error = CheckPictures(settings, [&settings](size_t i) { return settings.destinations[i].enabled; });
	if (!error.empty())
		return false;

	video_t *video = nullptr;
	audio_t *audio = nullptr;
	if (!HostMedia(video, audio, error))
		return false;
	StopAndRelease();

	// The qualities in the order of their first destinations, each in Kick
	// mode when an enabled Kick destination streams at it and repeating its
	// headers when an SRT or RIST destination does.
	std::vector<std::pair<EncodeKey, GroupMode>> keys;
	std::vector<size_t> key_of(settings.destinations.size());
	for (size_t position = 0; position < settings.destinations.size(); position++) {
		const Destination &destination = settings.destinations[position];
		if (!destination.enabled || FollowsObsEncoder(destination))
			continue;
		const EncodeKey key = GroupKey(settings, destination);
		auto known = std::find_if(keys.begin(), keys.end(), [&](const auto &k) { return k.first == key; });
		key_of[position] = size_t(known - keys.begin());
		if (known == keys.end())
			keys.emplace_back(key, GroupMode{});
		keys[key_of[position]].second |= ModeFor(destination);
	}
	if (!HostSuits(keys, error))
		return false;
	for (const auto &[key, mode] : keys) {
		if (!CreateGroup(*this, key, mode, video, audio)) {
			error = Tr(Txt::NoEncoders);
			ReleaseOutputs();
			return false;
		}
	}

	// The destinations that send OBS's own stream share its encoders, or
	// each shows why they cannot.
	const bool follows_obs = std::any_of(settings.destinations.begin(), settings.destinations.end(),
					     [](const Destination &d) { return d.enabled && FollowsObsEncoder(d); });
	std::string obs_problem = follows_obs ? ObsStreamProblem(obs) : std::string();
	EncoderGroup *obs_group = follows_obs && obs_problem.empty() ? ObsStreamGroup(*this, obs) : nullptr;
	if (follows_obs && !obs_group && obs_problem.empty())
		obs_problem = Tr(Txt::ObsStreamNotLive);

	for (size_t position = 0; position < settings.destinations.size(); position++) {
		const Destination &destination = settings.destinations[position];
		if (!destination.enabled)
			continue;
		if (FollowsObsEncoder(destination) && !obs_group) {
			RefuseRun(*this, position, obs_problem);
			continue;
		}
		EncoderGroup &group = FollowsObsEncoder(destination) ? *obs_group : *groups[key_of[position]];
		std::unique_ptr<DestinationRun> run = CreateRun(*this, settings, position, group);
		if (!run) {
			error = Tr(SendsMpegTs(settings.destinations[position]) ? Txt::NoMpegTs : Txt::NoRtmp);
			StopAndRelease();
			return false;
		}
		runs.push_back(std::move(run));
	}

	bool any_started = false;
	for (const auto &run : runs)
		any_started |= run->output && StartRun(*run);
	if (!any_started) {
		error = obs_problem.empty() ? Tr(Txt::NothingStarted) : obs_problem;
		return false;
	}
	return log.started = true;
}

bool MultistreamEngine::StartDestination(const PanelSettings &settings, uint64_t destination_index, std::string &error,
					 const ObsStreamEncoders &obs)
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
	if (error.empty())
		error = CheckPictures(settings, [&](size_t i) { return i == destination_index; });
	if (!error.empty())
		return false;

	// With its quality streaming the new output joins that encoder, which
	// then stays as it is; otherwise its quality starts alone. An SRT or RIST
	// destination needs repeated headers, which a running encoder cannot take
	// up: without them at its quality it gets an encoder of its own, which
	// later SRT and RIST destinations of that quality join.
	ReleaseIdleGroups();
	const Destination &destination = settings.destinations[destination_index];
	const EncodeKey key = GroupKey(settings, destination);
	const GroupMode wanted = ModeFor(destination);
	auto found = std::find_if(groups.begin(), groups.end(), [&](const auto &g) {
		return !g->obs_stream && g->quality == key.quality && g->picture == key.picture &&
		       (g->repeat_headers || !wanted.repeat_headers);
	});
	EncoderGroup *group = found == groups.end() ? nullptr : found->get();
	if (FollowsObsEncoder(destination)) {
		error = ObsStreamProblem(obs);
		group = error.empty() ? ObsStreamGroup(*this, obs) : nullptr;
		if (!group) {
			if (error.empty())
				error = Tr(Txt::ObsStreamNotLive);
			RefuseRun(*this, destination_index, error);
			return false;
		}
	} else if (group) {
		if (wanted.kick && !group->kick_mode) {
			error = Tr(Txt::KickEncoder);
			return false;
		}
	} else {
		video_t *video = nullptr;
		audio_t *audio = nullptr;
		GroupMode mode = EnabledModeOf(settings, key);
		mode |= wanted;
		if (!HostMedia(video, audio, error) || !HostSuits({{key, mode}}, error))
			return false;
		if (CreateGroup(*this, key, mode, video, audio))
			group = groups.back().get();
	}
	std::unique_ptr<DestinationRun> run = group ? CreateRun(*this, settings, destination_index, *group) : nullptr;
	if (!run) {
		error = Tr(!group ? Txt::NoEncoders : wanted.repeat_headers ? Txt::NoMpegTs : Txt::NoRtmp);
		// A group made for this start goes again, and the audio encoder with the last group.
		ReleaseIdleGroups();
		return false;
	}

	DestinationRun &started = PlaceRun(*this, std::move(run));
	if (!StartRun(started)) {
		error = Tr(Txt::NothingStarted);
		return false;
	}
	return log.started = true;
}

} // namespace torvane
