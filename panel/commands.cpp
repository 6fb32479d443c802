#include "panel/commands.h"

#include "panel/guides.h"
#include "panel/theme.h"
#include "settings/document.h"
#include "settings/kick.h"
#include "settings/platform.h"
#include "settings/quality.h"
#include "settings/text.h"
#include "settings/validation.h"

#include <obs.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace torvane {

namespace {

// The controls that need a selected destination, and the quality chips.
const int32_t selection_controls[] = {id_name, id_server, id_key, id_username, id_password, id_show, id_remove, id_guide};
const int32_t quality_buttons[] = {id_720p, id_1080p, id_30fps, id_60fps};
const char16_t bullet_show[] = u"Show";

bool IsSelectionControl(int32_t id)
{
	for (int32_t control : selection_controls)
		if (control == id)
			return true;
	return false;
}

int32_t DestinationCount(const Panel &panel)
{
	return static_cast<int32_t>(panel.store.settings.destinations.size());
}

bool HasSelection(const Panel &panel)
{
	return panel.state.selected_index >= 0 && panel.state.selected_index < DestinationCount(panel);
}

bool IsTrimmed(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string ReadTrimmed(const Panel &panel, int32_t id)
{
	const std::string text = WideToUtf8(panel.ui.Text(id));
	size_t begin = 0;
	size_t end = text.size();
	while (begin < end && IsTrimmed(text[begin]))
		begin++;
	while (end > begin && IsTrimmed(text[end - 1]))
		end--;
	return text.substr(begin, end - begin);
}

void SetControlText(Panel &panel, int32_t id, const std::string &text)
{
	panel.ui.SetText(id, Utf8ToWide(text));
}

void MaskSecrets(Panel &panel)
{
	panel.ui.SetMasked(id_key, true);
	panel.ui.SetMasked(id_password, true);
	panel.ui.SetText(id_show, bullet_show);
}

void SetEnabledIfDifferent(Panel &panel, int32_t id, bool enabled)
{
	if (panel.ui.IsEnabled(id) != enabled)
		panel.ui.SetEnabled(id, enabled);
}

bool SameLine(const StatusLine &a, const StatusLine &b)
{
	return a.text == b.text && a.color == b.color;
}

} // namespace

int32_t ParseBitrate(const std::u16string &field)
{
	// std::stoi: leading white space, an optional sign, then decimal digits;
	// the whole text must be taken for the value to count.
	const std::string text = WideToUtf8(field);
	const char *begin = text.c_str();
	char *end = nullptr;
	errno = 0;
	const long value = std::strtol(begin, &end, 10);
	if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
		return 0;
	if (static_cast<size_t>(end - begin) != text.size())
		return 0;
	return static_cast<int32_t>(value);
}

const char *GuideUrlFor(const std::string &platform)
{
	switch (ParsePlatform(platform)) {
	case Platform::YouTube:
		return guide_youtube_url;
	case Platform::Twitch:
		return guide_twitch_url;
	case Platform::Kick:
		return guide_kick_url;
	case Platform::Patreon:
		return guide_patreon_url;
	case Platform::Custom:
		break;
	}
	return guide_default_url;
}

void SetStatus(Panel &panel, const std::u16string &sentence)
{
	panel.state.status_message = sentence;
	panel.state.status_error = false;
	panel.ui.InvalidatePanel();
}

void ReportError(Panel &panel, const std::string &sentence)
{
	panel.state.status_message = Utf8ToWide(sentence);
	panel.state.status_error = true;
	panel.ui.InvalidatePanel();
	panel.ui.ShowNotice(Utf8ToWide(sentence));
}

void CommitForm(Panel &panel)
{
	if (panel.state.form_guard || panel.engine.IsBusy())
		return;

	PanelSettings &settings = panel.store.settings;
	if (HasSelection(panel)) {
		Destination &d = settings.destinations[static_cast<size_t>(panel.state.selected_index)];
		d.name = ReadTrimmed(panel, id_name);
		d.server = ReadTrimmed(panel, id_server);
		d.key = ReadTrimmed(panel, id_key);
		d.username = ReadTrimmed(panel, id_username);
		d.password = WideToUtf8(panel.ui.Text(id_password));
	}
	settings.bitrate = ParseBitrate(panel.ui.Text(id_bitrate));
}

void LoadForm(Panel &panel)
{
	panel.state.form_guard = true;
	const bool selection = HasSelection(panel);
	const Destination source =
		selection ? panel.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)]
			  : Destination();
	SetControlText(panel, id_name, source.name);
	SetControlText(panel, id_server, source.server);
	SetControlText(panel, id_key, source.key);
	SetControlText(panel, id_username, source.username);
	SetControlText(panel, id_password, source.password);
	MaskSecrets(panel);

	const bool enabled = selection && !panel.engine.IsBusy() && panel.store.usable;
	for (int32_t id : selection_controls)
		panel.ui.SetEnabled(id, enabled);
	panel.state.form_guard = false;
	panel.ui.InvalidatePanel();
}

void UpdateControlStates(Panel &panel)
{
	const bool busy = panel.engine.IsBusy();
	const bool editable = !busy && panel.store.usable;
	for (const ControlSpec &control : panel_controls) {
		if (!control.form)
			continue;
		const bool needs_selection = IsSelectionControl(control.id);
		SetEnabledIfDifferent(panel, control.id, editable && (!needs_selection || panel.state.selected_index >= 0));
	}
	SetEnabledIfDifferent(panel, id_start, editable);
	SetEnabledIfDifferent(panel, id_stop, busy);
	LiveRefresh(panel);
}

bool CompleteKickUrlsInForm(Panel &panel)
{
	bool changed = false;
	for (Destination &d : panel.store.settings.destinations) {
		std::string completed = CompleteKickServer(d);
		if (completed != d.server) {
			d.server = std::move(completed);
			changed = true;
		}
	}
	if (!changed)
		return false;

	if (HasSelection(panel)) {
		panel.state.form_guard = true;
		SetControlText(panel, id_server,
			       panel.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)].server);
		panel.state.form_guard = false;
		SetStatus(panel, u"Kick URL completed automatically with port 443 and /app.");
	}
	return true;
}

bool SaveFromPanel(Panel &panel)
{
	if (!panel.store.usable) {
		ReportError(panel, panel.store.load_error);
		return false;
	}
	CommitForm(panel);
	const bool kick = CompleteKickUrlsInForm(panel);
	const int32_t bitrate = panel.store.settings.bitrate;
	if (!IsBitrateInRange(bitrate)) {
		ReportError(panel, "Enter a video bitrate between 1000 and 8000 kbps.");
		return false;
	}
	std::string error;
	if (!SaveSettingsStore(panel.store, error)) {
		ReportError(panel, error);
		return false;
	}
	SetStatus(panel, kick ? u"Saved. Kick URL completed automatically with :443/app."
			      : u"Saved. Your credentials are encrypted on this PC.");
	return true;
}

void OpenSetupGuide(Panel &panel)
{
	if (!HasSelection(panel))
		return;
	panel.ui.OpenAddress(
		GuideUrlFor(panel.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)].platform));
}

void InitializeControls(Panel &panel)
{
	panel.state.form_guard = true;
	SetControlText(panel, id_bitrate, std::to_string(panel.store.settings.bitrate));
	MaskSecrets(panel);
	panel.state.form_guard = false;
	RebuildRows(panel);
	UpdateControlStates(panel);
}

static void StartAllCommand(Panel &panel)
{
	CommitForm(panel);
	CompleteKickUrlsInForm(panel);
	const std::string problem = ValidateSettings(panel.store.settings);
	if (!problem.empty()) {
		ReportError(panel, problem);
		return;
	}
	if (!SaveFromPanel(panel))
		return;
	std::string error;
	if (panel.engine.StartAll(panel.store.settings, error))
		SetStatus(panel, u"Sending your OBS program. Confirm each platform's preview.");
	else
		ReportError(panel, error);
	UpdateControlStates(panel);
	panel.ui.InvalidatePanel();
}

static void RemoveCommand(Panel &panel)
{
	if (panel.state.selected_index < 0)
		return;
	if (!panel.ui.AskYesNo(u"Remove this destination and its saved credentials?"))
		return;
	CommitForm(panel);
	std::vector<Destination> &list = panel.store.settings.destinations;
	if (panel.state.selected_index < DestinationCount(panel)) {
		list.erase(list.begin() + panel.state.selected_index);
		panel.engine.RemoveDestination(static_cast<uint64_t>(panel.state.selected_index));
	}
	RebuildRows(panel);
	SaveFromPanel(panel);
}

void OnButtonClicked(Panel &panel, int32_t id)
{
	switch (id) {
	case id_show: {
		const bool show = panel.ui.IsMasked(id_key);
		panel.ui.SetMasked(id_key, !show);
		panel.ui.SetMasked(id_password, !show);
		panel.ui.SetText(id_show, show ? u"Hide" : u"Show");
		panel.ui.InvalidateControl(id_key);
		panel.ui.InvalidateControl(id_password);
		break;
	}
	case id_save:
		if (SaveFromPanel(panel))
			RebuildRows(panel);
		break;
	case id_start:
		StartAllCommand(panel);
		break;
	case id_stop:
		panel.engine.RequestStopAll();
		SetStatus(panel, u"Stopping all Torvane destinations...");
		UpdateControlStates(panel);
		panel.ui.InvalidatePanel();
		break;
	case id_custom: {
		CommitForm(panel);
		const size_t count = panel.store.settings.destinations.size();
		// A file with more destinations than a load accepts could never be
		// read back.
		if (count >= max_saved_destinations) {
			ReportError(panel,
				    "You can add at most " + std::to_string(max_saved_destinations) + " destinations.");
			break;
		}
		panel.store.settings.destinations.push_back(MakeCustomDestination(count));
		panel.state.selected_index = static_cast<int32_t>(count);
		RebuildRows(panel);
		panel.ui.SetFocus(id_name);
		break;
	}
	case id_remove:
		RemoveCommand(panel);
		break;
	case id_guide:
		OpenSetupGuide(panel);
		break;
	case id_720p:
	case id_1080p:
	case id_30fps:
	case id_60fps:
		CommitForm(panel);
		if (id == id_720p)
			panel.store.settings.height = height_720p;
		else if (id == id_1080p)
			panel.store.settings.height = height_1080p;
		else if (id == id_30fps)
			panel.store.settings.fps = fps_30;
		else
			panel.store.settings.fps = fps_60;
		for (int32_t chip : quality_buttons)
			panel.ui.InvalidateControl(chip);
		SetStatus(panel, u"Quality updated. Save settings to keep this preset.");
		break;
	case id_coffee:
		panel.ui.OpenAddress(donation_url);
		break;
	default:
		break;
	}
}

void OnBitrateEdited(Panel &panel)
{
	if (panel.state.form_guard)
		return;
	CommitForm(panel);
	panel.ui.InvalidatePanel();
}

void OnServerFocusLost(Panel &panel)
{
	if (panel.state.form_guard || panel.engine.IsBusy())
		return;
	CommitForm(panel);
	CompleteKickUrlsInForm(panel);
}

void OnFieldFocusChanged(Panel &panel, int32_t id)
{
	if (const EditFrame *frame = FindEditFrame(id))
		panel.ui.InvalidateArea(EditFrameRect(*frame, panel.state.dpi));
}

void OnButtonHovered(Panel &panel, int32_t id)
{
	const int32_t previous = panel.state.hovered_button;
	if (previous == id)
		return;
	panel.state.hovered_button = id;
	if (previous != 0)
		panel.ui.InvalidateControl(previous);
	if (id != 0)
		panel.ui.InvalidateControl(id);
}

void OnTimer(Panel &panel)
{
	UpdateControlStates(panel);
}

bool OnCloseRequested(Panel &panel)
{
	if (!panel.engine.IsBusy() && panel.store.usable && !SaveFromPanel(panel))
		return false;
	MaskSecrets(panel);
	panel.ui.HidePanel();
	return true;
}

void OnPanelDestroyed(PanelState &state)
{
	state.hovered_button = 0;
	state.cached_rows.clear();
	state.cached_header.clear();
	state.cached_summary = StatusLine{std::string(), color_muted};
}

void OnStreamsStoppedByHost(Panel &panel)
{
	panel.state.status_message = Utf8ToWide(host_stopped_sentence);
	panel.ui.InvalidatePanel();
	UpdateControlStates(panel);
}

void RebuildRows(Panel &panel)
{
	panel.state.form_guard = true;
	const int32_t count = DestinationCount(panel);
	panel.ui.SetRowCount(count);
	if (count == 0) {
		panel.state.selected_index = -1;
		panel.ui.SelectRow(-1);
		panel.state.form_guard = false;
		LoadForm(panel);
		return;
	}
	if (panel.state.selected_index >= count)
		panel.state.selected_index = count - 1;
	if (panel.state.selected_index < 0)
		panel.state.selected_index = 0;
	panel.ui.SelectRow(panel.state.selected_index);
	panel.state.form_guard = false;
	LoadForm(panel);
}

int32_t ListKeyTarget(ListKey key, int32_t current, int32_t count, int32_t top, int32_t per_page)
{
	if (count <= 0)
		return -1;
	per_page = per_page < 1 ? 1 : per_page;
	int32_t target = current;
	switch (key) {
	case ListKey::Up:
		target = current - 1;
		break;
	case ListKey::Down:
		target = current + 1;
		break;
	case ListKey::Home:
		target = 0;
		break;
	case ListKey::End:
		target = count - 1;
		break;
	case ListKey::PageUp:
		// To the first visible row, or from there one page further up.
		target = current == top ? top - per_page + 1 : top;
		break;
	case ListKey::PageDown:
		// To the last visible row, or from there one page further down.
		target = current == top + per_page - 1 ? current + per_page - 1 : top + per_page - 1;
		break;
	}
	return target < 0 ? 0 : target >= count ? count - 1 : target;
}

bool CanChangeTicks(const Panel &panel)
{
	return !panel.engine.IsBusy() && panel.store.usable;
}

void ToggleTick(Panel &panel, int32_t row)
{
	if (!CanChangeTicks(panel) || row < 0 || row >= DestinationCount(panel))
		return;
	Destination &d = panel.store.settings.destinations[static_cast<size_t>(row)];
	d.enabled = !d.enabled;
	// The header count and the upload budget follow the tick.
	panel.ui.InvalidatePanel();
	panel.ui.InvalidateRow(row);
	if (row != panel.state.selected_index) {
		panel.ui.SelectRow(row);
		OnRowSelected(panel, row);
	}
}

void OnTickChanged(Panel &panel, int32_t row, bool ticked)
{
	if (panel.state.form_guard || row < 0 || row >= DestinationCount(panel))
		return;
	Destination &d = panel.store.settings.destinations[static_cast<size_t>(row)];
	if (d.enabled == ticked)
		return;
	d.enabled = ticked;
	panel.ui.InvalidatePanel();
	panel.ui.InvalidateRow(row);
}

void OnRowSelected(Panel &panel, int32_t row)
{
	if (panel.state.form_guard || row < 0 || row >= DestinationCount(panel) || row == panel.state.selected_index)
		return;
	CommitForm(panel);
	panel.state.selected_index = row;
	LoadForm(panel);
	panel.ui.InvalidateList();
}

const obs_video_info *ReadVideoInfo(const Panel &panel, obs_video_info &storage)
{
	storage = obs_video_info();
	return panel.video_info && panel.video_info(&storage) ? &storage : nullptr;
}

void LiveRefresh(Panel &panel)
{
	const PanelSettings &settings = panel.store.settings;
	std::vector<StatusLine> rows;
	rows.reserve(settings.destinations.size());
	for (size_t i = 0; i < settings.destinations.size(); i++)
		rows.push_back(DestinationStatusLine(settings.destinations[i], panel.engine.GetStats(i)));

	obs_video_info video;
	StatusLine summary = ActualOutputLine(settings, ReadVideoInfo(panel, video));
	std::string header = HeaderCountText(settings, panel.engine);

	PanelState &state = panel.state;
	for (size_t i = 0; i < rows.size(); i++)
		if (i >= state.cached_rows.size() || !SameLine(rows[i], state.cached_rows[i]))
			panel.ui.InvalidateRow(static_cast<int32_t>(i));
	state.cached_rows = std::move(rows);

	if (header != state.cached_header) {
		panel.ui.InvalidateArea(ScaleEdges(header_count_area, state.dpi));
		state.cached_header = std::move(header);
	}
	if (!SameLine(summary, state.cached_summary)) {
		panel.ui.InvalidateArea(ScaleEdges(summary_area, state.dpi));
		state.cached_summary = std::move(summary);
	}
}

} // namespace torvane
