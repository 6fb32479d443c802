// The commands behind the panel's buttons, and closing.
#include "panel/commands.h"

#include "panel/form.h"
#include "panel/guides.h"
#include "panel/list.h"
#include "panel/refresh.h"
#include "settings/platform.h"
#include "settings/quality.h"
#include "settings/utf8.h"
#include "settings/texts.h"

#include <optional>

namespace torvane {

namespace {

const int32_t quality_buttons[] = {id_720p,     id_1080p,     id_30fps,     id_60fps,
				   id_own_720p, id_own_1080p, id_own_30fps, id_own_60fps};

void Repaint(Panel &panel)
{
	for (int32_t chip : quality_buttons)
		panel.ui.InvalidateControl(chip);
	if (HasSelection(panel))
		panel.ui.InvalidateRow(panel.state.selected_index);
	AfterCommand(panel);
}

void RemoveCommand(Panel &panel)
{
	if (!HasSelection(panel) || !panel.ui.AskYesNo(Tr16(Txt::RemoveQuestion)))
		return;
	const Outcome outcome = RemoveDestination(panel.controller, static_cast<size_t>(panel.state.selected_index));
	RebuildRows(panel);
	ShowOutcome(panel, outcome);
}

void AddCustomCommand(Panel &panel)
{
	const Outcome outcome = AddCustomDestination(panel.controller);
	if (outcome.Ok()) {
		panel.state.selected_index = DestinationCount(panel) - 1;
		RebuildRows(panel);
		panel.ui.SetFocus(id_name);
	}
	ShowOutcome(panel, outcome);
}

void ChooseQuality(Panel &panel, int32_t id)
{
	Controller &controller = panel.controller;
	std::optional<size_t> index;
	if (id >= id_own_720p && id <= id_own_60fps) {
		index = SelectedIndex(panel);
		if (!index)
			return;
		id += id_720p - id_own_720p;
	}
	if (id == id_720p || id == id_1080p)
		SetHeight(controller, id == id_720p ? height_720p : height_1080p, index);
	else
		SetFps(controller, id == id_30fps ? fps_30 : fps_60, index);
	Repaint(panel);
}

void ChooseEncoder(Panel &panel, int32_t id)
{
	std::optional<size_t> index;
	const PanelSettings &settings = panel.controller.store.settings;
	std::string current = settings.encoder;
	bool same_as_obs = false;
	if (id == id_own_encoder) {
		index = SelectedIndex(panel);
		if (!index)
			return;
		current = QualityOf(settings, settings.destinations[*index]).encoder;
		same_as_obs = FollowsObsEncoder(settings.destinations[*index]);
	}
	const std::vector<EncoderChoice> choices = EncoderChoices(current);
	std::vector<std::u16string> names;
	int32_t checked = -1;
	for (const EncoderChoice &choice : choices) {
		if (choice.id == current && !same_as_obs)
			checked = static_cast<int32_t>(names.size());
		names.push_back(Utf8ToWide(choice.name));
	}
	// A destination's own menu ends with OBS's own stream's encode.
	if (index) {
		if (same_as_obs)
			checked = static_cast<int32_t>(names.size());
		names.push_back(Tr16(Txt::SameAsObs));
	}
	const int32_t chosen = panel.ui.ChooseFromMenu(ControlRect(*FindControl(id), panel.state.dpi), names, checked);
	// The panel may have changed while the menu was open: the edit is refused then.
	if (chosen >= 0 && static_cast<size_t>(chosen) < choices.size()) {
		if (index && same_as_obs)
			SetSameAsObs(panel.controller, *index, false);
		SetEncoder(panel.controller, choices[static_cast<size_t>(chosen)].id, index);
	} else if (index && static_cast<size_t>(chosen) == choices.size()) {
		SetSameAsObs(panel.controller, *index, true);
	}
	Repaint(panel);
}

void ChoosePicture(Panel &panel)
{
	const std::optional<size_t> index = SelectedIndex(panel);
	if (!index)
		return;
	const Picture current = Selected(panel).picture;
	const std::vector<PictureChoice> choices = PictureChoices(current);
	std::vector<std::u16string> names;
	int32_t checked = -1;
	for (const PictureChoice &choice : choices) {
		if (choice.picture == current)
			checked = static_cast<int32_t>(names.size());
		names.push_back(Utf8ToWide(choice.name));
	}
	const int32_t chosen =
		panel.ui.ChooseFromMenu(ControlRect(*FindControl(id_picture), panel.state.dpi), names, checked);
	if (chosen >= 0 && static_cast<size_t>(chosen) < choices.size())
		SetPicture(panel.controller, *index, choices[static_cast<size_t>(chosen)].picture);
	Repaint(panel);
}

// The relay's menu: on or off, its ingest URL and key, each asked for in a box,
// and the export. The key shows only whether there is one, and is typed masked.
void ChooseRelay(Panel &panel)
{
	const RelaySettings &relay = panel.controller.store.settings.relay;
	const std::vector<std::u16string> items = {Tr16(Txt::RelayThrough), Tr16(Txt::RelayIngest),
						   Tr16(relay.key.empty() ? Txt::RelayKey : Txt::RelayKeySet),
						   Tr16(Txt::RelayExport)};
	const int32_t chosen = panel.ui.ChooseFromMenu(ControlRect(*FindControl(id_relay), panel.state.dpi), items,
						       relay.enabled ? 0 : -1);
	Outcome outcome;
	if (chosen == 0) {
		outcome = SetRelayEnabled(panel.controller, !relay.enabled);
	} else if (chosen == 1 || chosen == 2) {
		const bool key = chosen == 2;
		std::u16string text = Utf8ToWide(key ? relay.key : relay.ingest);
		if (!panel.ui.AskText(Tr16(key ? Txt::RelayKeyRule : Txt::RelayNeedsIngest), text, key))
			return;
		// Streaming may have started while the box was open: the edit is refused then.
		outcome = EditRelay(panel.controller, key, WideToUtf8(text));
	} else if (chosen == 3) {
		outcome = ExportRelay(panel.controller);
	} else {
		return;
	}
	panel.ui.InvalidateControl(id_relay);
	ShowOutcome(panel, outcome);
}

void ToggleOwnQuality(Panel &panel)
{
	if (const std::optional<size_t> index = SelectedIndex(panel))
		SetOwnQuality(panel.controller, *index, !Selected(panel).quality);
	panel.ui.InvalidateControl(id_own);
	Repaint(panel);
}

void ToggleShown(Panel &panel)
{
	const bool show = panel.ui.IsMasked(id_key);
	panel.ui.SetMasked(id_key, !show);
	panel.ui.SetMasked(id_password, !show);
	panel.ui.SetText(id_show, Tr16(show ? Txt::Hide : Txt::Show));
	panel.ui.InvalidateControl(id_key);
	panel.ui.InvalidateControl(id_password);
}

} // namespace

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

void ShowOutcome(Panel &panel, const Outcome &outcome)
{
	AfterCommand(panel);
	if (!outcome.Ok())
		panel.ui.ShowNotice(Utf8ToWide(outcome.sentence));
}

void OnButtonClicked(Panel &panel, int32_t id)
{
	switch (id) {
	case id_show:
		ToggleShown(panel);
		break;
	case id_save: {
		const Outcome outcome = Save(panel.controller);
		if (outcome.Ok())
			RebuildRows(panel);
		ShowOutcome(panel, outcome);
		break;
	}
	case id_start:
		ShowOutcome(panel, StartAll(panel.controller));
		break;
	case id_stop:
		ShowOutcome(panel, StopAll(panel.controller));
		break;
	case id_custom:
		AddCustomCommand(panel);
		break;
	case id_remove:
		RemoveCommand(panel);
		break;
	case id_guide:
		if (HasSelection(panel))
			panel.ui.OpenAddress(GuideUrlFor(Selected(panel).platform));
		break;
	case id_720p:
	case id_1080p:
	case id_30fps:
	case id_60fps:
	case id_own_720p:
	case id_own_1080p:
	case id_own_30fps:
	case id_own_60fps:
		ChooseQuality(panel, id);
		break;
	case id_picture:
		ChoosePicture(panel);
		break;
	case id_encoder:
	case id_own_encoder:
		ChooseEncoder(panel, id);
		break;
	case id_own:
		ToggleOwnQuality(panel);
		break;
	case id_coffee:
		panel.ui.OpenAddress(donation_url);
		break;
	case id_relay:
		ChooseRelay(panel);
		break;
	case id_follow:
		// Kept with the next save, as the quality is.
		ToggleFollowObs(panel.controller);
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
	if (MayEdit(panel.controller)) {
		const Outcome saved = Save(panel.controller);
		if (!saved.Ok()) {
			ShowOutcome(panel, saved);
			return false;
		}
	}
	MaskSecrets(panel);
	panel.ui.HidePanel();
	return true;
}

void OnPanelOpened(Panel &panel)
{
	const SettingsStore &store = panel.controller.store;
	if (store.usable)
		return;
	panel.controller.status = {store.load_error, true};
	ShowOutcome(panel, Outcome{Refusal::SettingsUnusable, store.load_error});
}

} // namespace torvane
