#include "control/controller.h"

#include "control/relay.h"
#include "engine/encoders.h"
#include "engine/pictures.h"

#include "settings/kick.h"
#include "settings/protocol.h"
#include "settings/quality.h"
#include "settings/texts.h"
#include "settings/validation.h"

#include <obs.h>
#include <obs.hpp>

#include <algorithm>
#include <utility>

#include <algorithm>

namespace torvane {

namespace {

Outcome Done(Controller &controller, std::string sentence)
{
	controller.status = {sentence, false};
	return Outcome{Refusal::None, std::move(sentence)};
}

// The sentence goes to the status line and, with what was asked, to OBS's
// log. No sentence carries a key, a password, a user name or a URL.
Outcome Refuse(Controller &controller, const char *command, Refusal code, std::string sentence)
{
	controller.status = {sentence, true};
	blog(LOG_WARNING, "[Torvane] %s refused (%s): %s", command, RefusalCode(code), sentence.c_str());
	return Outcome{code, std::move(sentence)};
}

// The engine's refusal or failure to start, which the engine has already
// written to OBS's log.
Outcome StartFailed(Controller &controller, std::string sentence)
{
	controller.status = {sentence, true};
	return Outcome{Refusal::StartFailed, std::move(sentence)};
}

// An edit that arrives while the settings may not change; the controls that
// make edits are disabled then, so nothing is said.
Outcome EditRefusal(const Controller &controller)
{
	if (!controller.store.usable)
		return Outcome{Refusal::SettingsUnusable, controller.store.load_error};
	return Outcome{Refusal::Busy, Tr(Txt::StillRunning)};
}

bool IsTrimmed(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trimmed(const std::string &text)
{
	size_t begin = 0;
	size_t end = text.size();
	while (begin < end && IsTrimmed(text[begin]))
		begin++;
	while (end > begin && IsTrimmed(text[end - 1]))
		end--;
	return text.substr(begin, end - begin);
}

// The save's own sentence for a bitrate out of range.
std::string BitrateSentence()
{
	return Tr(Txt::EnterBitrate, {std::to_string(min_bitrate_kbps), std::to_string(max_bitrate_kbps)});
}

// The shared bitrate and every destination's own are in range.
bool BitratesInRange(const PanelSettings &settings)
{
	if (!IsBitrateInRange(settings.bitrate))
		return false;
	for (const Destination &d : settings.destinations)
		if (d.quality && d.quality->bitrate != 0 && !IsBitrateInRange(d.quality->bitrate))
			return false;
	return true;
}

// A destination's own quality, which it gets first, as a copy of the shared
// one, when it has none.
OwnQuality &MakeOwnQuality(PanelSettings &settings, size_t index)
{
	std::optional<OwnQuality> &own = settings.destinations[index].quality;
	if (!own)
		own = OwnQuality{settings.height, settings.fps, settings.bitrate, settings.encoder};
	return *own;
}

// Checks that the quality edit may happen and where it goes; the member
// pointers name the shared quality's and an own quality's member.
template<typename T>
Outcome SetQualityMember(Controller &controller, std::optional<size_t> index, T PanelSettings::*shared,
			 T OwnQuality::*own, T value)
{
	if (!MayEdit(controller))
		return EditRefusal(controller);
	PanelSettings &settings = controller.store.settings;
	if (!index) {
		settings.*shared = std::move(value);
		return Outcome{};
	}
	Outcome outcome = CheckIndex(controller, *index);
	if (outcome.Ok())
		MakeOwnQuality(settings, *index).*own = std::move(value);
	return outcome;
}

// A destination's field, to read or to write.
template<typename D>
auto &FieldRef(D &destination, Field field)
{
	switch (field) {
	case Field::Name:
		return destination.name;
	case Field::Server:
		return destination.server;
	case Field::Key:
		return destination.key;
	case Field::Username:
		return destination.username;
	case Field::Password:
		break;
	}
	return destination.password;
}

// Writes the file, completing Kick URLs first; the bitrate was checked by the caller.
Outcome SaveChecked(Controller &controller, const char *command)
{
	if (!controller.store.usable)
		return Refuse(controller, command, Refusal::SettingsUnusable, controller.store.load_error);
	const bool kick = CompleteKickUrls(controller);
	if (!controller.writes_settings)
		return Outcome{};
	std::string error;
	if (!SaveSettingsStore(controller.store, error))
		return Refuse(controller, command, Refusal::SaveFailed, error);
	return Done(controller, Tr(kick ? Txt::SavedKick : Txt::Saved));
}

// The sentence of a start of the destinations `started` names, with a word on
// x264 standing in where the hardware choice found no hardware encoder.
template<typename Started>
std::string StartedSentence(const PanelSettings &settings, Started started)
{
	std::string sentence = Tr(Txt::Started);
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		if (started(i) && QualityOf(settings, settings.destinations[i]).encoder == hardware_h264_encoder &&
		    ResolveEncoder(hardware_h264_encoder).fell_back)
			return sentence + " " + Tr(Txt::HardwareFallback);
	}
	return sentence;
}

// Runs of the relay and runs of destinations never share the engine's
// records: a start of the other kind begins with none.
void ClearRecordsFor(Controller &controller, bool relay)
{
	if (controller.relay_run != relay && !controller.engine.IsBusy())
		controller.engine.StopAndRelease();
	controller.relay_run = relay;
	controller.relay_watch.Clear();
}

Outcome SaveAndStart(Controller &controller, size_t index)
{
	const char *command = "StartDestination";
	if (!BitratesInRange(controller.store.settings))
		return Refuse(controller, command, Refusal::InvalidSettings, BitrateSentence());
	const Outcome saved = SaveChecked(controller, command);
	if (!saved.Ok())
		return saved;
	std::string error;
	ClearRecordsFor(controller, false);
	if (!controller.engine.StartDestination(controller.store.settings, index, error, ObsStreamOf(controller)))
		return StartFailed(controller, error);
	return Done(controller, StartedSentence(controller.store.settings, [index](size_t i) { return i == index; }));
}

// The relay's view of an enabled destination while the upload runs: the
// upload's own state until it sends, then the push's state where the
// statistics page could be read.
void ViewThroughRelay(const Controller &controller, const Destination &destination, const RelayView &relay,
		      size_t index, RowView &row)
{
	row.stats = controller.engine.GetStats(0);
	row.status = DestinationStatusLine(destination, row.stats);
	row.figure = LiveFigure(destination, row.stats);
	if (row.stats.state != DestinationState::Sending)
		return;
	row.figure.clear();
	if (!relay.read || !relay.publishing) {
		row.status = StatusLine{Tr(Txt::RelaySent), Tone::Accent};
		return;
	}
	const RelayPush push = relay.pushes[index];
	row.status = StatusLine{Tr(push.connected ? Txt::RelaySending : Txt::RelayConnecting), Tone::Accent};
	row.stats.kbps = push.kbps;
	if (push.connected)
		row.figure = LiveFigure(destination, row.stats);
	else
		row.stats.state = DestinationState::Connecting;
}

} // namespace

const char *RefusalCode(Refusal code)
{
	switch (code) {
	case Refusal::None:
		break;
	case Refusal::SettingsUnusable:
		return "settings_unusable";
	case Refusal::InvalidSettings:
		return "invalid_settings";
	case Refusal::SaveFailed:
		return "save_failed";
	case Refusal::StartFailed:
		return "start_failed";
	case Refusal::Busy:
		return "busy";
	case Refusal::NotStreaming:
		return "not_streaming";
	case Refusal::NoSuchDestination:
		return "no_such_destination";
	case Refusal::NeedsIndex:
		return "needs_index";
	case Refusal::TooManyDestinations:
		return "too_many_destinations";
	case Refusal::NoSuchRequest:
		return "no_such_request";
	case Refusal::RequestInFrame:
		return "request_in_frame";
	case Refusal::RequestNotTaken:
		return "request_not_taken";
	case Refusal::RequestUnfinished:
		return "request_unfinished";
	case Refusal::RequestAtExit:
		return "request_at_exit";
	case Refusal::RelayOn:
		return "relay_on";
	}
	return "ok";
}

bool HostVideoInfo(obs_video_info *info)
{
	return obs_get_video_info(info);
}

Controller::Controller(SettingsStore &settings_store, MultistreamEngine &multistream, SettingsPathSource path_source,
		       VideoInfoSource video_source)
	: store(settings_store),
	  engine(multistream),
	  settings_path(path_source),
	  video_info(video_source),
	  status{Tr(Txt::Welcome), false}
{
}

void LoadSettings(Controller &controller)
{
	EnsureSettingsLoaded(controller.store, controller.settings_path);
}

bool MayEdit(const Controller &controller)
{
	return !controller.engine.IsBusy() && controller.store.usable;
}

const obs_video_info *ReadVideo(const Controller &controller, obs_video_info &storage)
{
	storage = obs_video_info();
	return controller.video_info && controller.video_info(&storage) ? &storage : nullptr;
}

RowAction RowActionFor(const Controller &controller, size_t index)
{
	const std::vector<Destination> &list = controller.store.settings.destinations;
	if (index >= list.size() || controller.relay_run || controller.store.settings.relay.enabled)
		return RowAction::None;
	const DestinationState state = controller.engine.GetStats(index).state;
	if (controller.engine.IsDestinationBusy(index))
		return state == DestinationState::Stopping ? RowAction::None : RowAction::Stop;
	// A start saves first, which unusable settings refuse.
	if (!list[index].enabled || !controller.store.usable)
		return RowAction::None;
	return state == DestinationState::Failed ? RowAction::Retry : RowAction::Start;
}

RowView ViewRow(const Controller &controller, size_t index)
{
	RowView row;
	const std::vector<Destination> &list = controller.store.settings.destinations;
	if (index >= list.size())
		return row;
	if (controller.relay_run && list[index].enabled) {
		const RelayView relay = ParseRelayStats(controller.relay_watch.Page(), controller.store.settings);
		ViewThroughRelay(controller, list[index], relay, index, row);
		return row;
	}
	row.stats = controller.relay_run ? DestinationStats() : controller.engine.GetStats(index);
	row.status = DestinationStatusLine(list[index], row.stats);
	row.figure = LiveFigure(list[index], row.stats);
	if (FollowsObsEncoder(list[index]))
		row.quality = Tr(Txt::SameAsObs);
	else if (list[index].quality)
		row.quality = QualityShortText(QualityOf(controller.store.settings, list[index]));
	row.picture = PictureShortText(list[index].picture);
	row.action = RowActionFor(controller, index);
	return row;
}

Snapshot TakeSnapshot(const Controller &controller, std::optional<size_t> selected)
{
	const PanelSettings &settings = controller.store.settings;
	Snapshot snapshot;
	snapshot.busy = controller.engine.IsBusy();
	snapshot.may_edit = MayEdit(controller);
	snapshot.rows.reserve(settings.destinations.size());
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		snapshot.rows.push_back(ViewRow(controller, i));
		snapshot.sending += snapshot.rows.back().stats.state == DestinationState::Sending ? 1 : 0;
	}
	snapshot.enabled = EnabledCount(settings);
	snapshot.header = HeaderOf(controller);
	snapshot.output_line = OutputLineOf(controller, selected, &snapshot.output);
	snapshot.upload_budget = UploadBudgetOf(controller);
	snapshot.status = controller.status;
	return snapshot;
}

std::string HeaderOf(const Controller &controller)
{
	const PanelSettings &settings = controller.store.settings;
	if (!controller.relay_run || !controller.engine.IsBusy())
		return HeaderCountText(settings, controller.engine);
	const RelayView relay = ParseRelayStats(controller.relay_watch.Page(), settings);
	if (controller.engine.GetStats(0).state == DestinationState::Sending && !(relay.read && relay.publishing))
		return Tr(Txt::RelayUploadOnly);
	size_t sending = 0;
	for (size_t i = 0; i < settings.destinations.size(); i++)
		sending += ViewRow(controller, i).stats.state == DestinationState::Sending ? 1 : 0;
	return Tr(Txt::RelayHeader, {std::to_string(sending), std::to_string(EnabledCount(settings))});
}

ObsStreamEncoders ObsStreamOf(const Controller &controller)
{
	return controller.obs_stream ? controller.obs_stream() : ObsStreamEncoders();
}

StatusLine OutputLineOf(const Controller &controller, std::optional<size_t> selected, ActualOutput *output)
{
	const PanelSettings &settings = controller.store.settings;
	const bool chosen = selected && *selected < settings.destinations.size();
	obs_video_info video;
	const obs_video_info *host = ReadVideo(controller, video);
	ActualOutput ignored;
	ActualOutput &actual = output ? *output : ignored;
	if (!chosen || !FollowsObsEncoder(settings.destinations[*selected])) {
		const Quality quality =
			chosen ? QualityOf(settings, settings.destinations[*selected]) : SharedQuality(settings);
		// A vertical picture is its own mix, at the size it is sent at.
		const bool vertical = chosen && settings.destinations[*selected].picture.kind == PictureKind::Vertical;
		actual = ActualOutputFor(quality, host, vertical);
		return ActualOutputLine(quality, host, vertical);
	}
	// What OBS's encoder makes, read at each look: OBS may change it between streams.
	const ObsStreamEncoders obs = ObsStreamOf(controller);
	actual = ActualOutput();
	if (!obs.video || !host || !host->fps_den || !obs_encoder_get_width(obs.video))
		return StatusLine{Tr(Txt::ObsOutputUnknown), Tone::Muted};
	actual.size = EncodedSize{obs_encoder_get_width(obs.video), obs_encoder_get_height(obs.video)};
	const uint32_t divisor = std::max(obs_encoder_get_frame_rate_divisor(obs.video), uint32_t(1));
	actual.fps = double(host->fps_num) / double(host->fps_den) / double(divisor);
	return StatusLine{Tr(Txt::ActualOutputObs, {std::to_string(actual.size.width),
						    std::to_string(actual.size.height), FpsText(actual.fps)}),
			  Tone::Muted};
}

std::string UploadBudgetOf(const Controller &controller)
{
	// OBS's encoders' bitrates, read at each look.
	const ObsStreamEncoders obs = ObsStreamOf(controller);
	int64_t kbps = 0;
	for (obs_encoder_t *encoder : {obs.video, obs.audio}) {
		if (!encoder)
			continue;
		OBSDataAutoRelease data = obs_encoder_get_settings(encoder);
		kbps += obs_data_get_int(data, "bitrate");
	}
	const PanelSettings &settings = controller.store.settings;
	return UploadBudgetText(settings.relay.enabled ? RelayUpload(settings) : settings, kbps);
}

// Kick servers completed and SRT or RIST secrets moved out of their URLs.
static std::pair<bool, bool> CompleteServers(Controller &controller)
{
	bool completed = false, moved = false;
	for (Destination &d : controller.store.settings.destinations) {
		std::string server = CompleteKickServer(d);
		if (server != d.server) {
			d.server = std::move(server);
			completed = true;
		}
		moved |= MoveUrlSecrets(d);
	}
	if (completed || moved)
		Done(controller, Tr(completed ? Txt::KickCompleted : Txt::UrlSecretsMoved));
	return {completed, moved};
}

bool CompleteKickUrls(Controller &controller)
{
	return CompleteServers(controller).first;
}

bool CompleteServerUrls(Controller &controller)
{
	const auto [completed, moved] = CompleteServers(controller);
	return completed || moved;
}

Outcome Save(Controller &controller)
{
	if (controller.store.usable && !BitratesInRange(controller.store.settings))
		return Refuse(controller, "Save", Refusal::InvalidSettings, BitrateSentence());
	return SaveChecked(controller, "Save");
}

Outcome StartAll(Controller &controller)
{
	const char *command = "StartAll";
	LoadSettings(controller);
	CompleteKickUrls(controller);
	const std::string problem = ValidateSettings(controller.store.settings);
	if (!problem.empty())
		return Refuse(controller, command, Refusal::InvalidSettings, problem);
	const std::string relay_problem =
		controller.store.settings.relay.enabled ? RelayProblem(controller.store.settings) : "";
	if (!relay_problem.empty())
		return Refuse(controller, command, Refusal::InvalidSettings, relay_problem);
	const Outcome saved = SaveChecked(controller, command);
	if (!saved.Ok())
		return saved;
	std::string error;
	const PanelSettings &settings = controller.store.settings;
	ClearRecordsFor(controller, settings.relay.enabled);
	if (settings.relay.enabled) {
		// Every platform behind the relay takes the one encode's codec.
		error = CheckEncoderChoices(settings,
					    [&settings](size_t i) { return settings.destinations[i].enabled; });
		if (!error.empty() || !controller.engine.StartAll(RelayUpload(settings), error))
			return StartFailed(controller, error);
		return Done(controller, StartedSentence(RelayUpload(settings), [](size_t) { return true; }));
	}
	if (!controller.engine.StartAll(settings, error, ObsStreamOf(controller)))
		return StartFailed(controller, error);
	return Done(controller,
		    StartedSentence(settings, [&settings](size_t i) { return settings.destinations[i].enabled; }));
}

Outcome StopAll(Controller &controller)
{
	// Nothing to stop: the status line keeps a sentence the user may not
	// have read yet.
	if (!controller.engine.IsBusy())
		return Outcome{};
	controller.engine.RequestStopAll();
	return Done(controller, Tr(Txt::Stopping));
}

Outcome CheckIndex(const Controller &controller, size_t index)
{
	const size_t count = controller.store.settings.destinations.size();
	if (index < count)
		return Outcome{};
	return Outcome{Refusal::NoSuchDestination,
		       Tr(Txt::NoDestinationAt, {std::to_string(index), std::to_string(count)})};
}

// An edit of the destination at `index`: refused while streaming, without
// usable settings, or past the list's end.
static Outcome CheckEdit(const Controller &controller, size_t index)
{
	return MayEdit(controller) ? CheckIndex(controller, index) : EditRefusal(controller);
}

Outcome StartDestination(Controller &controller, size_t index)
{
	LoadSettings(controller);
	Outcome outcome = CheckIndex(controller, index);
	if (!outcome.Ok())
		return Refuse(controller, "StartDestination", outcome.code, outcome.sentence);
	if (controller.store.settings.relay.enabled || (controller.relay_run && controller.engine.IsBusy()))
		return Refuse(controller, "StartDestination", Refusal::RelayOn, Tr(Txt::RelayOneAtATime));
	return SaveAndStart(controller, index);
}

Outcome StopDestination(Controller &controller, size_t index)
{
	Outcome outcome = CheckIndex(controller, index);
	if (!outcome.Ok())
		return Refuse(controller, "StopDestination", outcome.code, outcome.sentence);
	if (controller.relay_run)
		return Refuse(controller, "StopDestination", Refusal::RelayOn, Tr(Txt::RelayOneAtATime));
	if (!controller.engine.StopDestination(index))
		return Refuse(controller, "StopDestination", Refusal::NotStreaming,
			      Tr(Txt::NotStreaming, {std::to_string(index)}));
	return Outcome{};
}

Outcome RunRowAction(Controller &controller, size_t index, RowAction expected)
{
	const RowAction action = RowActionFor(controller, index);
	if (action == RowAction::None || action != expected)
		return Outcome{};
	if (action == RowAction::Stop || action == RowAction::Retry)
		controller.engine.StopDestination(index);
	if (action == RowAction::Stop)
		return Outcome{};
	return SaveAndStart(controller, index);
}

Outcome EditDestination(Controller &controller, size_t index, Field field, const std::string &text)
{
	Outcome outcome = CheckEdit(controller, index);
	if (!outcome.Ok())
		return outcome;
	const std::string value = FieldValue(field, text);
	FieldRef(controller.store.settings.destinations[index], field) = value;
	return Outcome{};
}

std::string FieldValue(Field field, const std::string &text)
{
	return field == Field::Password ? text : Trimmed(text); // spaces may be part of a password
}

const std::string &FieldOf(const Destination &destination, Field field)
{
	return FieldRef(destination, field);
}

Outcome SetIncluded(Controller &controller, size_t index, bool included)
{
	Outcome outcome = CheckEdit(controller, index);
	if (outcome.Ok())
		controller.store.settings.destinations[index].enabled = included;
	return outcome;
}

Outcome SetBitrate(Controller &controller, int32_t kbps, std::optional<size_t> index)
{
	// Checked against the range when saving or starting. An own bitrate of 0
	// would take the shared one: a text that is no number stays out of range.
	if (index && kbps == 0)
		kbps = -1;
	return SetQualityMember(controller, index, &PanelSettings::bitrate, &OwnQuality::bitrate, kbps);
}

Outcome SetHeight(Controller &controller, int32_t height, std::optional<size_t> index)
{
	const Outcome outcome =
		SetQualityMember(controller, index, &PanelSettings::height, &OwnQuality::height, height);
	return outcome.Ok() ? Done(controller, Tr(Txt::QualityUpdated)) : outcome;
}

Outcome SetFps(Controller &controller, int32_t fps, std::optional<size_t> index)
{
	const Outcome outcome = SetQualityMember(controller, index, &PanelSettings::fps, &OwnQuality::fps, fps);
	return outcome.Ok() ? Done(controller, Tr(Txt::QualityUpdated)) : outcome;
}

Outcome SetEncoder(Controller &controller, const std::string &choice, std::optional<size_t> index)
{
	const Outcome outcome =
		SetQualityMember(controller, index, &PanelSettings::encoder, &OwnQuality::encoder, choice);
	return outcome.Ok() ? Done(controller, Tr(Txt::QualityUpdated)) : outcome;
}

Outcome SetOwnQuality(Controller &controller, size_t index, bool own)
{
	Outcome outcome = CheckEdit(controller, index);
	if (!outcome.Ok())
		return outcome;
	if (own)
		MakeOwnQuality(controller.store.settings, index);
	else
		controller.store.settings.destinations[index].quality.reset();
	return Done(controller, Tr(Txt::QualityUpdated));
}

Outcome SetSameAsObs(Controller &controller, size_t index, bool same)
{
	Outcome outcome = CheckEdit(controller, index);
	if (!outcome.Ok())
		return outcome;
	MakeOwnQuality(controller.store.settings, index).obs_stream = same;
	return Done(controller, Tr(Txt::QualityUpdated));
}

Outcome SetPicture(Controller &controller, size_t index, const Picture &picture)
{
	Outcome outcome = CheckEdit(controller, index);
	if (!outcome.Ok())
		return outcome;
	controller.store.settings.destinations[index].picture = picture;
	return Done(controller, Tr(Txt::PictureUpdated));
}

std::vector<PictureChoice> PictureChoices(const Picture &current)
{
	const std::vector<std::string> scenes = SceneNames();
	std::vector<PictureChoice> choices{{Picture{}, ""}};
	for (const std::string &scene : scenes)
		choices.push_back({Picture{PictureKind::Scene, scene}, ""});
	choices.push_back({Picture{PictureKind::Vertical, ""}, ""});
	for (const std::string &scene : scenes)
		choices.push_back({Picture{PictureKind::Vertical, scene}, ""});
	if (std::none_of(choices.begin(), choices.end(), [&](const PictureChoice &c) { return c.picture == current; }))
		choices.push_back({current, ""});
	for (PictureChoice &choice : choices)
		choice.name = PictureChoiceName(choice.picture);
	return choices;
}

std::vector<EncoderChoice> EncoderChoices(const std::string &current)
{
	std::vector<EncoderChoice> choices;
	for (EncoderOption &option : VideoEncoderOptions())
		choices.push_back(EncoderChoice{std::move(option.id), std::move(option.name)});
	choices.push_back(EncoderChoice{hardware_h264_encoder, Tr(Txt::HardwareH264)});
	bool listed = false;
	for (const EncoderChoice &choice : choices)
		listed = listed || choice.id == current;
	if (!listed && !current.empty())
		choices.push_back(EncoderChoice{current, EncoderChoiceName(current)});
	return choices;
}

Outcome ToggleFollowObs(Controller &controller)
{
	if (!MayEdit(controller))
		return EditRefusal(controller);
	controller.store.settings.follow_obs_stream = !controller.store.settings.follow_obs_stream;
	return Outcome{};
}

Outcome SetRelayEnabled(Controller &controller, bool enabled)
{
	if (!MayEdit(controller))
		return EditRefusal(controller);
	controller.store.settings.relay.enabled = enabled;
	return Outcome{};
}

Outcome EditRelay(Controller &controller, bool key, const std::string &text)
{
	if (!MayEdit(controller))
		return EditRefusal(controller);
	(key ? controller.store.settings.relay.key : controller.store.settings.relay.ingest) = Trimmed(text);
	return Outcome{};
}

Outcome ExportRelay(Controller &controller, std::u16string folder)
{
	LoadSettings(controller);
	if (folder.empty() && controller.store.settings_path.empty())
		return Refuse(controller, "ExportRelay", Refusal::SettingsUnusable, Tr(Txt::NoSettingsFolder));
	if (folder.empty()) {
		const std::u16string &path = controller.store.settings_path;
		const size_t slash = path.find_last_of(u"/\\");
		folder = (slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1)) + u"relay";
	}
	CompleteKickUrls(controller);
	// The statistics page's secret path is made once and kept with the key,
	// so that Torvane finds the page of a relay running an earlier export.
	RelaySettings &relay = controller.store.settings.relay;
	if (!IsRelayStatsPath(relay.stats_path)) {
		relay.stats_path = NewRelayStatsPath();
		const Outcome saved = SaveChecked(controller, "ExportRelay");
		if (!saved.Ok())
			return saved;
	}
	std::string message;
	if (!ExportRelayFiles(controller.store.settings, folder, message))
		return Refuse(controller, "ExportRelay", Refusal::InvalidSettings, message);
	return Done(controller, message);
}

Outcome AddCustomDestination(Controller &controller)
{
	if (!MayEdit(controller))
		return EditRefusal(controller);
	std::vector<Destination> &list = controller.store.settings.destinations;
	// A file with more destinations than a load accepts could never be read back.
	if (list.size() >= max_saved_destinations)
		return Refuse(controller, "AddCustomDestination", Refusal::TooManyDestinations,
			      Tr(Txt::AtMostDestinations, {std::to_string(max_saved_destinations)}));
	list.push_back(MakeCustomDestination(list.size()));
	return Outcome{};
}

Outcome RemoveDestination(Controller &controller, size_t index)
{
	const char *command = "RemoveDestination";
	// A hotkey, a remote request or OBS's own Start Streaming may have started
	// streams while the user was asked: nothing is removed while anything streams.
	if (controller.engine.IsBusy())
		return Refuse(controller, command, Refusal::Busy, Tr(Txt::StillRunning));
	if (!controller.store.usable)
		return Refuse(controller, command, Refusal::SettingsUnusable, controller.store.load_error);
	Outcome outcome = CheckIndex(controller, index);
	if (!outcome.Ok())
		return Refuse(controller, command, outcome.code, outcome.sentence);
	std::vector<Destination> &list = controller.store.settings.destinations;
	list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
	controller.engine.RemoveDestination(index);
	return Save(controller);
}

void FollowObsStreaming(Controller &controller, ObsStream what)
{
	LoadSettings(controller);
	if (!controller.store.settings.follow_obs_stream)
		return;
	const bool busy = controller.engine.IsBusy();
	const std::vector<Destination> &list = controller.store.settings.destinations;
	if (what == ObsStream::Started && !busy)
		StartAll(controller);
	else if (what == ObsStream::Started) {
		for (size_t i = 0; i < list.size(); i++) {
			if (list[i].enabled && FollowsObsEncoder(list[i]) && !controller.engine.IsDestinationBusy(i))
				StartDestination(controller, i);
		}
	} else if (what == ObsStream::Stopped)
		StopAll(controller);
	else if (what == ObsStream::Ended && busy)
		Done(controller, Tr(Txt::ObsStreamEnded));
}

void StopObsStreamFollowers(Controller &controller)
{
	controller.engine.ReleaseObsStreamFollowers();
}

void StopForHost(Controller &controller)
{
	controller.engine.StopAndRelease();
	controller.status.text = Tr(Txt::HostStopped); // an error before it keeps its colour
}

void Tick(Controller &controller)
{
	controller.engine.SampleThroughput();
	RtmpAddress ingest;
	const RelaySettings &relay = controller.store.settings.relay;
	if (controller.relay_run && controller.engine.IsBusy() && IsRelayStatsPath(relay.stats_path) &&
	    ParseRtmpUrl(relay.ingest, ingest))
		controller.relay_watch.Request(ingest.host, RelayStatsPort(ingest), relay.stats_path);
	controller.engine.ReleaseIdleGroups();
}

} // namespace torvane
