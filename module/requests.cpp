#include "module/requests.h"

#include "engine/encoders.h"
#include "settings/texts.h"

namespace torvane {

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

// A quality with the id of the encoder that streams it here: what the hardware
// choice found, or the id as chosen when this OBS lacks it.
OBSDataAutoRelease QualityData(const Quality &quality)
{
	const std::string resolved = ResolveEncoder(quality.encoder).id;
	OBSDataAutoRelease data = obs_data_create();
	obs_data_set_int(data, "height", quality.height);
	obs_data_set_int(data, "fps", quality.fps);
	obs_data_set_int(data, "bitrate", quality.bitrate);
	obs_data_set_string(data, "encoder", resolved.empty() ? quality.encoder.c_str() : resolved.c_str());
	return data;
}

void GetStatus(Controller &controller, obs_data_t *, obs_data_t *response)
{
	LoadSettings(controller);
	const PanelSettings &settings = controller.store.settings;
	const Snapshot snapshot = TakeSnapshot(controller);

	OBSDataArrayAutoRelease list = obs_data_array_create();
	for (size_t i = 0; i < settings.destinations.size(); i++) {
		const Destination &d = settings.destinations[i];
		const RowView &row = snapshot.rows[i];
		OBSDataAutoRelease item = obs_data_create();
		obs_data_set_int(item, "index", static_cast<long long>(i));
		obs_data_set_string(item, "name", d.name.c_str());
		obs_data_set_string(item, "platform", d.platform.c_str());
		obs_data_set_bool(item, "enabled", d.enabled);
		obs_data_set_string(item, "state", StateName(row.stats.state));
		obs_data_set_string(item, "status", row.status.text.c_str());
		obs_data_set_int(item, "last_code", row.stats.last_code);
		obs_data_set_int(item, "frames_dropped", row.stats.frames_dropped);
		obs_data_set_int(item, "kbps", row.stats.kbps);
		obs_data_set_int(item, "reconnect_attempts", row.stats.reconnect_attempts);
		obs_data_set_bool(item, "own_quality", d.quality.has_value());
		obs_data_set_bool(item, "same_as_obs", FollowsObsEncoder(d));
		obs_data_set_obj(item, "quality", QualityData(QualityOf(settings, d)));
		OBSDataAutoRelease picture = obs_data_create();
		obs_data_set_string(picture, "kind", PictureKindName(d.picture.kind));
		obs_data_set_string(picture, "scene", d.picture.scene.c_str());
		obs_data_set_obj(item, "picture", picture);
		obs_data_array_push_back(list, item);
	}
	obs_data_set_bool(response, "relay", settings.relay.enabled);
	obs_data_set_bool(response, "busy", snapshot.busy);
	obs_data_set_int(response, "sending", static_cast<long long>(snapshot.sending));
	obs_data_set_int(response, "enabled", static_cast<long long>(snapshot.enabled));

	obs_data_set_obj(response, "quality", QualityData(SharedQuality(settings)));

	OBSDataAutoRelease output = obs_data_create();
	obs_data_set_int(output, "width", snapshot.output.size.width);
	obs_data_set_int(output, "height", snapshot.output.size.height);
	obs_data_set_double(output, "fps", snapshot.output.fps);
	obs_data_set_obj(response, "actual_output", output);
	obs_data_set_array(response, "destinations", list);
}

// The request's "index": a whole number naming a destination in the list.
Outcome ReadIndex(const char *name, obs_data_t *data, const Controller &controller, size_t &index)
{
	obs_data_item_t *item = data ? obs_data_item_byname(data, "index") : nullptr;
	const bool whole = item && obs_data_item_gettype(item) == OBS_DATA_NUMBER &&
			   obs_data_item_numtype(item) == OBS_DATA_NUM_INT;
	const long long value = whole ? obs_data_item_get_int(item) : 0;
	obs_data_item_release(&item);
	if (!whole)
		return Outcome{Refusal::NeedsIndex, Tr(Txt::NeedsIndex, {name})};
	const size_t count = controller.store.settings.destinations.size();
	if (value < 0 || static_cast<unsigned long long>(value) >= count)
		return Outcome{Refusal::NoSuchDestination,
			       Tr(Txt::NoDestinationAt, {std::to_string(value), std::to_string(count)})};
	index = static_cast<size_t>(value);
	return Outcome{};
}

template<Outcome (*command)(Controller &, size_t)>
void AnswerWithIndex(const char *name, Controller &controller, obs_data_t *data, obs_data_t *response)
{
	LoadSettings(controller);
	size_t index = 0;
	Outcome outcome = ReadIndex(name, data, controller, index);
	if (outcome.Ok())
		outcome = command(controller, index);
	else
		blog(LOG_WARNING, "[Torvane] %s refused (%s): %s", name, RefusalCode(outcome.code),
		     outcome.sentence.c_str());
	AnswerOutcome(response, outcome);
}

} // namespace

const Request requests[request_count] = {
	{"GetStatus", GetStatus},
	{"StartAll",
	 [](Controller &c, obs_data_t *, obs_data_t *response) {
		 AnswerOutcome(response, StartAll(c));
	 }},
	{"StopAll",
	 [](Controller &c, obs_data_t *, obs_data_t *response) {
		 AnswerOutcome(response, StopAll(c));
	 }},
	{"StartDestination",
	 [](Controller &c, obs_data_t *data, obs_data_t *response) {
		 AnswerWithIndex<StartDestination>("StartDestination", c, data, response);
	 }},
	{"StopDestination",
	 [](Controller &c, obs_data_t *data, obs_data_t *response) {
		 AnswerWithIndex<StopDestination>("StopDestination", c, data, response);
	 }},
};

const Request *FindRequest(const std::string &name)
{
	for (const Request &request : requests)
		if (name == request.name)
			return &request;
	return nullptr;
}

void AnswerOutcome(obs_data_t *response, const Outcome &outcome)
{
	obs_data_set_bool(response, "ok", outcome.Ok());
	if (outcome.Ok())
		return;
	obs_data_set_string(response, "code", RefusalCode(outcome.code));
	obs_data_set_string(response, "error", outcome.sentence.c_str());
}

void AnswerRequest(const std::string &name, obs_data_t *data, obs_data_t *response, Controller &controller)
{
	if (const Request *request = FindRequest(name))
		request->answer(controller, data, response);
	else
		AnswerOutcome(response, Outcome{Refusal::NoSuchRequest, Tr(Txt::NoSuchRequest, {name})});
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
