#pragma once

#include "control/outcome.h"
#include "control/relay_watch.h"
#include "control/status.h"
#include "engine/engine.h"
#include "settings/store.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct obs_video_info;

// Every command Torvane takes, whoever gives it (the panel, a row's action, a
// hotkey, obs-websocket, OBS's own Start Streaming, the command-line tool),
// and the one snapshot of what there is to show. Toolkit-free; everything
// here runs on the host's UI thread.
namespace torvane {

// Answers the host's video settings; false when the host has none.
using VideoInfoSource = bool (*)(obs_video_info *info);

// libobs's own video settings.
bool HostVideoInfo(obs_video_info *info);

// The last sentence a command left for the user; the panel's status line shows
// it, also when the panel opens only later.
struct StatusMessage {
	std::string text;
	bool error = false;
};

struct Controller {
	Controller(SettingsStore &settings_store, MultistreamEngine &multistream, SettingsPathSource path_source,
		   VideoInfoSource video_source);
	Controller(const Controller &) = delete;
	Controller &operator=(const Controller &) = delete;

	SettingsStore &store;
	MultistreamEngine &engine;
	SettingsPathSource settings_path;
	VideoInfoSource video_info; // may be null: no video
	StatusMessage status;
	// False for settings a tool was given to stream: a save then writes nothing.
	bool writes_settings = true;
	// OBS's own stream's encoders; null: a host without OBS's stream.
	ObsStreamSource obs_stream = nullptr;
	// The engine's records are of the relay's one upload, at index 0: every
	// enabled destination's row shows the relay's view.
	bool relay_run = false;
	RelayWatch relay_watch;
};

// The header count; while the relay sends, the relay's view of it.
std::string HeaderOf(const Controller &controller);

// OBS's own stream's encoders as the controller's host has them now.
ObsStreamEncoders ObsStreamOf(const Controller &controller);

// Reads the settings file on the first call; later calls do nothing.
void LoadSettings(Controller &controller);

// Whether the settings may change now: nothing streams and the file was read.
bool MayEdit(const Controller &controller);

// The host's video settings, or null when there are none.
const obs_video_info *ReadVideo(const Controller &controller, obs_video_info &storage);

// An action is offered only where it would be taken: stop for a busy
// destination, retry for a failed one, start for a resting included one while
// the settings can be saved.
RowAction RowActionFor(const Controller &controller, size_t index);

// Everything of a row that changes while streaming.
struct RowView {
	DestinationStats stats;
	StatusLine status;
	std::string figure;
	std::string quality; // the destination's own quality in short, empty while it has none
	std::string picture; // the destination's picture in short, empty for the program
	RowAction action = RowAction::None;

	bool operator==(const RowView &other) const
	{
		return status.text == other.status.text && status.tone == other.status.tone && figure == other.figure &&
		       quality == other.quality && picture == other.picture && action == other.action;
	}
	bool operator!=(const RowView &other) const { return !(*this == other); }
};
RowView ViewRow(const Controller &controller, size_t index);

// What every view shows, taken at one moment.
struct Snapshot {
	bool busy = false;
	bool may_edit = false;
	size_t enabled = 0;
	size_t sending = 0;
	std::string header;
	StatusLine output_line; // of the selected destination's quality
	ActualOutput output;
	std::string upload_budget;
	std::vector<RowView> rows; // one per destination, in list order
	StatusMessage status;
};
// `selected` names the destination whose quality the actual output line
// describes; none (or an index outside the list): the shared quality.
Snapshot TakeSnapshot(const Controller &controller, std::optional<size_t> selected = std::nullopt);

// The actual output line of the destination `selected` names (the shared
// quality's without one); for a destination sending OBS's own stream, what
// OBS's encoder makes.
StatusLine OutputLineOf(const Controller &controller, std::optional<size_t> selected, ActualOutput *output = nullptr);
// The upload budget, counting OBS's own stream's bitrate for each destination
// that sends it.
std::string UploadBudgetOf(const Controller &controller);

// The commands. Each leaves its sentence in `controller.status` (a refusal as
// an error) and writes a refusal to OBS's log, never with a secret in it.

// Completes Kick server URLs (":443/app") and moves an SRT or RIST URL's
// stream id and passphrase into the key and password; true when a Kick URL
// was completed.
bool CompleteKickUrls(Controller &controller);
// The same; true when any server changed.
bool CompleteServerUrls(Controller &controller);
// Completes Kick URLs, checks the bitrate and writes the file.
Outcome Save(Controller &controller);
// Completes Kick URLs, validates, saves, then starts every enabled destination.
Outcome StartAll(Controller &controller);
// Stops every destination; nothing happens, and the status stays, when
// nothing streams.
Outcome StopAll(Controller &controller);
// One destination by its place in the list: a start saves first as "Start all"
// does; a stop of a destination that is not streaming is refused.
Outcome StartDestination(Controller &controller, size_t index);
Outcome StopDestination(Controller &controller, size_t index);
// Runs a row's action when it is still `expected` (what the user saw and
// chose); otherwise nothing happens.
Outcome RunRowAction(Controller &controller, size_t index, RowAction expected);
// Refused when the index is outside the list.
Outcome CheckIndex(const Controller &controller, size_t index);

// Edits of the in-memory settings, kept with the next save. Each is refused,
// without a sentence in the status line, while MayEdit is false.
enum class Field { Name, Server, Key, Username, Password };
Outcome EditDestination(Controller &controller, size_t index, Field field, const std::string &text);
// What the settings keep of a typed text: the password as typed, the rest trimmed.
std::string FieldValue(Field field, const std::string &text);
// A destination's value of a field.
const std::string &FieldOf(const Destination &destination, Field field);
Outcome SetIncluded(Controller &controller, size_t index, bool included);
// The quality edits change the shared quality, or with `index` that
// destination's own, which it gets first when it has none.
Outcome SetBitrate(Controller &controller, int32_t kbps, std::optional<size_t> index = std::nullopt);
Outcome SetHeight(Controller &controller, int32_t height, std::optional<size_t> index = std::nullopt);
Outcome SetFps(Controller &controller, int32_t fps, std::optional<size_t> index = std::nullopt);
// An OBS encoder id or hardware_h264_encoder; checked when streaming starts.
Outcome SetEncoder(Controller &controller, const std::string &choice, std::optional<size_t> index = std::nullopt);
// Gives a destination its own quality, starting as the shared one, or takes it
// back to the shared quality.
Outcome SetOwnQuality(Controller &controller, size_t index, bool own);
// A destination sends OBS's own stream's encode, or its own quality again.
Outcome SetSameAsObs(Controller &controller, size_t index, bool same);

// One entry of an encoder menu: the choice kept in the settings and its name.
struct EncoderChoice {
	std::string id;
	std::string name;
};
// The encoders this OBS offers for RTMP, then the hardware choice, then
// `current` when it is none of them (a choice this OBS lacks still shows).
std::vector<EncoderChoice> EncoderChoices(const std::string &current);
// What a destination sends: the program, a scene, or a vertical picture.
// Whether a scene exists is checked when streaming starts.
Outcome SetPicture(Controller &controller, size_t index, const Picture &picture);

// One entry of the picture menu: the picture and its name.
struct PictureChoice {
	Picture picture;
	std::string name;
};
// The program, each scene of the current collection, the centre of the program
// at 9:16, then each scene as a vertical picture; then `current` when it is
// none of them (a scene that is gone still shows).
std::vector<PictureChoice> PictureChoices(const Picture &current);
Outcome ToggleFollowObs(Controller &controller);
// The relay: on or off, its ingest URL and key (trimmed), kept with the next save.
Outcome SetRelayEnabled(Controller &controller, bool enabled);
Outcome EditRelay(Controller &controller, bool key, const std::string &text);
// Writes the relay's nginx.conf and README.txt into `folder`; empty: the
// "relay" folder beside the settings file. The sentence names the file.
Outcome ExportRelay(Controller &controller, std::u16string folder = std::u16string());
// Appends a custom destination, the last in the list.
Outcome AddCustomDestination(Controller &controller);
// Removes a destination and saves.
Outcome RemoveDestination(Controller &controller, size_t index);

// What OBS's own stream did: started, was stopped by the user (OBS's Stop
// Streaming, a hotkey, obs-websocket's StopStream), or ended without a stop
// (it failed to connect or gave up reconnecting).
enum class ObsStream { Started, Stopped, Ended };

// When the settings say so, every enabled destination starts with OBS's stream
// and stops with a stop the user asked for. A start while Torvane already
// streams changes nothing; an end leaves Torvane's destinations sending and
// says so.
// A start also starts the included destinations that send OBS's own stream
// when Torvane already streams.
void FollowObsStreaming(Controller &controller, ObsStream what);

// OBS's own stream is stopping or ended: whatever the settings, the
// destinations that send it stop and let go of its encoders.
void StopObsStreamFollowers(Controller &controller);

// Once a second, whoever shows the status: each output's throughput is
// sampled, and the encoder of a quality whose destinations all stopped is
// released while the other qualities go on.
void Tick(Controller &controller);

// The host is closing or changing profile or scenes: every stream stops and
// is released.
void StopForHost(Controller &controller);

} // namespace torvane
