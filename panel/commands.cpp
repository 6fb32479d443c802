// The commands behind the panel's buttons, the status message and closing.
#include "panel/commands.h"

#include "panel/guides.h"
#include "panel/theme.h"
#include "settings/document.h"
#include "settings/platform.h"
#include "settings/quality.h"
#include "settings/utf8.h"
#include "settings/validation.h"
#include "settings/texts.h"

namespace torvane {

namespace {

const int32_t quality_buttons[] = {id_720p, id_1080p, id_30fps, id_60fps};

void RemoveCommand(Panel &panel)
{
	if (panel.state.selected_index < 0)
		return;
	if (!panel.ui.AskYesNo(Tr16(Txt::RemoveQuestion)))
		return;
	// While the question was open a hotkey, a remote request or OBS's own
	// Start Streaming may have started streams: a destination is removed only
	// as long as nothing streams, when its button may be pressed at all.
	if (panel.engine.IsBusy()) {
		ReportError(panel, Tr(Txt::StillRunning));
		UpdateControlStates(panel);
		return;
	}
	CommitForm(panel);
	std::vector<Destination> &list = panel.store.settings.destinations;
	if (panel.state.selected_index < DestinationCount(panel)) {
		list.erase(list.begin() + panel.state.selected_index);
		panel.engine.RemoveDestination(static_cast<uint64_t>(panel.state.selected_index));
	}
	RebuildRows(panel);
	SaveFromPanel(panel);
}

} // namespace

bool StartAllCommand(Panel &panel)
{
	CommitForm(panel);
	CompleteKickUrlsInForm(panel);
	const std::string problem = ValidateSettings(panel.store.settings);
	if (!problem.empty()) {
		ReportError(panel, problem);
		return false;
	}
	if (!SaveFromPanel(panel))
		return false;
	std::string error;
	const bool started = panel.engine.StartAll(panel.store.settings, error);
	if (started)
		SetStatus(panel, Tr16(Txt::Started));
	else
		ReportError(panel, error);
	UpdateControlStates(panel);
	panel.ui.InvalidatePanel();
	return started;
}

void StopAllCommand(Panel &panel)
{
	panel.engine.RequestStopAll();
	SetStatus(panel, Tr16(Txt::Stopping));
	UpdateControlStates(panel);
	panel.ui.InvalidatePanel();
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
		ReportError(panel, Tr(Txt::EnterBitrate,
				      {std::to_string(min_bitrate_kbps), std::to_string(max_bitrate_kbps)}));
		return false;
	}
	std::string error;
	if (!SaveSettingsStore(panel.store, error)) {
		ReportError(panel, error);
		return false;
	}
	SetStatus(panel, Tr16(kick ? Txt::SavedKick : Txt::Saved));
	return true;
}

void OpenSetupGuide(Panel &panel)
{
	if (!HasSelection(panel))
		return;
	panel.ui.OpenAddress(
		GuideUrlFor(panel.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)].platform));
}

void OnButtonClicked(Panel &panel, int32_t id)
{
	switch (id) {
	case id_show: {
		const bool show = panel.ui.IsMasked(id_key);
		panel.ui.SetMasked(id_key, !show);
		panel.ui.SetMasked(id_password, !show);
		panel.ui.SetText(id_show, Tr16(show ? Txt::Hide : Txt::Show));
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
		StopAllCommand(panel);
		break;
	case id_custom: {
		CommitForm(panel);
		const size_t count = panel.store.settings.destinations.size();
		// A file with more destinations than a load accepts could never be
		// read back.
		if (count >= max_saved_destinations) {
			ReportError(panel, Tr(Txt::AtMostDestinations, {std::to_string(max_saved_destinations)}));
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
		SetStatus(panel, Tr16(Txt::QualityUpdated));
		break;
	case id_coffee:
		panel.ui.OpenAddress(donation_url);
		break;
	case id_follow:
		// Kept with the next save, as the quality is.
		CommitForm(panel);
		panel.store.settings.follow_obs_stream = !panel.store.settings.follow_obs_stream;
		panel.ui.InvalidateControl(id_follow);
		break;
	default:
		break;
	}
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

bool OnCloseRequested(Panel &panel)
{
	if (!panel.engine.IsBusy() && panel.store.usable && !SaveFromPanel(panel))
		return false;
	MaskSecrets(panel);
	panel.ui.HidePanel();
	return true;
}

void OnStreamsStoppedByHost(Panel &panel)
{
	panel.state.status_message = Tr16(Txt::HostStopped);
	panel.ui.InvalidatePanel();
	UpdateControlStates(panel);
}

} // namespace torvane
