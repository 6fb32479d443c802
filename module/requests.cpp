#include "module/requests.h"

#include "panel/live_status.h"
#include "panel/remote.h"
#include "settings/texts.h"

namespace torvane {

const char *const request_names[request_count] = {"GetStatus", "StartAll", "StopAll", "StartDestination",
								"StopDestination"};

namespace {

const char *StateName(DestinationState state)
{
	switch (state) {
	case DestinationState::Ready:
		break;
	case DestinationState::Connecting:
		return "connecting";
	case DestinationState::Sending:
		return "sending";
	case DestinationState::Reconnecting:
		return "reconnecting";
	case DestinationState::Stopping:
		return "stopping";
	case DestinationState::Failed:
		return "failed";
	}
	return "ready";
}

void Answer(obs_data_t *response, bool ok, const std::string &error)
{
	obs_data_set_bool(response, "ok", ok);
	if (!ok)
		obs_data_set_string(response, "error", error.c_str());
}

void GetStatus(obs_data_t *response, ControlPanel &panel, VideoInfoSource video_info)
{
	const PanelSettings &settings = panel.store.settings;
	const MultistreamEngine &engine = panel.engine;

	size_t sending = 0, enabled = 0;
	OBSDataArrayAutoRelease list = obs_data_array_create();
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const Destination &d = settings.destinations[i];
		const DestinationStats stats = engine.GetStats(i);
		sending += stats.state == DestinationState::Sending ? 1 : 0;
		enabled += d.enabled ? 1 : 0;
		OBSDataAutoRelease item = obs_data_create();
		obs_data_set_int(item, "index", static_cast<long long>(i));
		obs_data_set_string(item, "name", d.name.c_str());
		obs_data_set_string(item, "platform", d.platform.c_str());
		obs_data_set_bool(item, "enabled", d.enabled);
		obs_data_set_string(item, "state", StateName(stats.state));
		obs_data_set_string(item, "status", DestinationStatusLine(d, stats).text.c_str());
		obs_data_set_int(item, "last_code", stats.last_code);
		obs_data_set_int(item, "frames_dropped", stats.frames_dropped);
		obs_data_set_int(item, "kbps", stats.kbps);
		obs_data_set_int(item, "reconnect_attempts", stats.reconnect_attempts);
		obs_data_array_push_back(list, item);
	}
	obs_data_set_bool(response, "busy", engine.IsBusy());
	obs_data_set_int(response, "sending", static_cast<long long>(sending));
	obs_data_set_int(response, "enabled", static_cast<long long>(enabled));

	OBSDataAutoRelease quality = obs_data_create();
	obs_data_set_int(quality, "height", settings.height);
	obs_data_set_int(quality, "fps", settings.fps);
	obs_data_set_int(quality, "bitrate", settings.bitrate);
	obs_data_set_obj(response, "quality", quality);

	// What the encoder gets, by the engine's own rules; zeros without video.
	OBSDataAutoRelease output = obs_data_create();
	obs_video_info video = {};
	EncodedSize size;
	double fps = 0.0;
	if (video_info && video_info(&video) && video.fps_den != 0) {
		size = ScaledOutputSize(video.output_width, video.output_height, settings.height);
		fps = double(video.fps_num) / double(video.fps_den) /
		      double(FrameRateDivisor(video.fps_num, video.fps_den, settings.fps));
	}
	obs_data_set_int(output, "width", size.width);
	obs_data_set_int(output, "height", size.height);
	obs_data_set_double(output, "fps", fps);
	obs_data_set_obj(response, "actual_output", output);
	obs_data_set_array(response, "destinations", list);
}

// The request's "index": a whole number naming a destination in the list.
bool ReadIndex(const std::string &name, obs_data_t *data, size_t count, size_t &index, std::string &error)
{
	obs_data_item_t *item = data ? obs_data_item_byname(data, "index") : nullptr;
	const bool whole = item && obs_data_item_gettype(item) == OBS_DATA_NUMBER &&
			   obs_data_item_numtype(item) == OBS_DATA_NUM_INT;
	const long long value = whole ? obs_data_item_get_int(item) : 0;
	obs_data_item_release(&item);
	if (!whole) {
		error = Tr(Txt::NeedsIndex, {name});
		return false;
	}
	if (value < 0 || static_cast<unsigned long long>(value) >= count) {
		error = Tr(Txt::NoDestinationAt, {std::to_string(value), std::to_string(count)});
		return false;
	}
	index = static_cast<size_t>(value);
	return true;
}

} // namespace

void AnswerRequest(const std::string &name, obs_data_t *data, obs_data_t *response, ControlPanel &panel, Panel *shown,
		   VideoInfoSource video_info)
{
	EnsureSettingsLoaded(panel.store, panel.settings_path);
	std::string error;
	if (name == "GetStatus") {
		GetStatus(response, panel, video_info);
	} else if (name == "StartAll") {
		const bool started = RemoteStartAll(panel, shown, error);
		Answer(response, started, error);
	} else if (name == "StopAll") {
		RemoteStopAll(panel, shown);
		Answer(response, true, error);
	} else if (name == "StartDestination" || name == "StopDestination") {
		size_t index = 0;
		bool ok = ReadIndex(name, data, panel.store.settings.destinations.size(), index, error);
		if (ok)
			ok = name == "StartDestination" ? RemoteStartDestination(panel, shown, index, error)
							: RemoteStopDestination(panel, shown, index, error);
		Answer(response, ok, error);
	} else {
		Answer(response, false, Tr(Txt::NoSuchRequest, {name}));
	}
}

std::vector<OBSDataAutoRelease> StateChangeEvents(const std::vector<StateChange> &changes,
						  const PanelSettings &settings, const MultistreamEngine &engine)
{
	std::vector<OBSDataAutoRelease> events;
	for (const StateChange &change : changes) {
		if (change.destination_index >= settings.destinations.size())
			continue;
		const size_t i = static_cast<size_t>(change.destination_index);
		// The live figures while this is still the destination's state; an
		// older change shows its own state and code.
		DestinationStats stats = engine.GetStats(i);
		if (stats.state != change.state || stats.last_code != change.last_code)
			stats = DestinationStats{change.state, change.last_code};
		OBSDataAutoRelease event = obs_data_create();
		obs_data_set_int(event, "index", static_cast<long long>(i));
		// obs-websocket sends each event from its own pool thread, so clients
		// may receive them out of order: the sequence restores it.
		obs_data_set_int(event, "sequence", static_cast<long long>(change.sequence));
		obs_data_set_string(event, "name", settings.destinations[i].name.c_str());
		obs_data_set_string(event, "state", StateName(change.state));
		obs_data_set_string(event, "status",
				    DestinationStatusLine(settings.destinations[i], stats).text.c_str());
		events.push_back(std::move(event));
	}
	return events;
}

} // namespace torvane
