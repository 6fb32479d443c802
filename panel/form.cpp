// The form that edits the selected destination: what reaches the settings from
// the fields and back, and the field inputs.
#include "panel/form.h"

#include "panel/list.h"
#include "engine/encoders.h"
#include "panel/refresh.h"
#include "settings/utf8.h"
#include "settings/texts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace torvane {

namespace {

// The controls that need a selected destination.
const int32_t selection_controls[] = {id_name, id_server, id_key,    id_username, id_password,
				      id_show, id_own,    id_remove, id_guide,    id_picture};

// The controls of the selected destination's own quality, usable while it has one.
const int32_t own_quality_controls[] = {id_own_720p,  id_own_1080p,   id_own_30fps,
					id_own_60fps, id_own_bitrate, id_own_encoder};

struct FormField {
	int32_t id;
	Field field;
};
const FormField form_fields[] = {{id_name, Field::Name},
				 {id_server, Field::Server},
				 {id_key, Field::Key},
				 {id_username, Field::Username},
				 {id_password, Field::Password}};

void SetControlText(Panel &panel, int32_t id, const std::string &text)
{
	panel.ui.SetText(id, Utf8ToWide(text));
}

template<size_t N>
bool Contains(const int32_t (&ids)[N], int32_t id)
{
	for (int32_t control : ids)
		if (control == id)
			return true;
	return false;
}

// Writes the bitrate into its field unless the field already says it: a text
// that is no number is kept as typed.
void SyncBitrateField(Panel &panel, int32_t id, int32_t bitrate, int32_t typed_nothing)
{
	const int32_t typed = ParseBitrate(panel.ui.Text(id));
	if ((typed != 0 ? typed : typed_nothing) != bitrate)
		SetControlText(panel, id, std::to_string(bitrate));
}

// The own quality's bitrate and both encoders' names.
void SyncQuality(Panel &panel, bool selection_changed)
{
	const Quality own = SelectedQuality(panel);
	if (selection_changed)
		SetControlText(panel, id_own_bitrate, std::to_string(own.bitrate));
	else
		SyncBitrateField(panel, id_own_bitrate, own.bitrate, -1);
	const bool same_as_obs = HasSelection(panel) && FollowsObsEncoder(Selected(panel));
	SetControlText(panel, id_own_encoder, same_as_obs ? Tr(Txt::SameAsObs) : EncoderChoiceName(own.encoder));
	SetControlText(panel, id_encoder, EncoderChoiceName(panel.controller.store.settings.encoder));
	SetControlText(panel, id_picture, HasSelection(panel) ? PictureChoiceName(Selected(panel).picture) : "");
}

} // namespace

bool IsSelectionControl(int32_t id)
{
	return Contains(selection_controls, id) || Contains(own_quality_controls, id);
}

bool IsControlUsable(const Panel &panel, int32_t id)
{
	// OBS's own stream's encode has its own size, rate and bitrate: only the
	// encoder menu stays, to choose another.
	if (Contains(own_quality_controls, id))
		return HasSelection(panel) && Selected(panel).quality &&
		       (id == id_own_encoder || !FollowsObsEncoder(Selected(panel)));
	return !IsSelectionControl(id) || HasSelection(panel);
}

void MaskSecrets(Panel &panel)
{
	panel.ui.SetMasked(id_key, true);
	panel.ui.SetMasked(id_password, true);
	panel.ui.SetText(id_show, Tr16(Txt::Show));
}

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

void LoadForm(Panel &panel)
{
	panel.state.form_guard = true;
	const bool selection = HasSelection(panel);
	const Destination source = selection ? Selected(panel) : Destination();
	for (const FormField &field : form_fields)
		SetControlText(panel, field.id, FieldOf(source, field.field));
	MaskSecrets(panel);
	SyncQuality(panel, true);

	const bool editable = MayEdit(panel.controller);
	for (int32_t id : selection_controls)
		panel.ui.SetEnabled(id, editable && selection);
	for (int32_t id : own_quality_controls) {
		panel.ui.SetEnabled(id, editable && IsControlUsable(panel, id));
		panel.ui.InvalidateControl(id); // the chips show the destination's quality
	}
	panel.ui.InvalidateControl(id_own);
	panel.state.form_guard = false;
	panel.ui.InvalidatePanel();
}

void SyncForm(Panel &panel)
{
	panel.state.form_guard = true;
	if (HasSelection(panel)) {
		const Destination &d = Selected(panel);
		for (const FormField &field : form_fields) {
			const std::string &value = FieldOf(d, field.field);
			if (FieldValue(field.field, WideToUtf8(panel.ui.Text(field.id))) != value)
				SetControlText(panel, field.id, value);
		}
	}
	SyncBitrateField(panel, id_bitrate, panel.controller.store.settings.bitrate, 0);
	SyncQuality(panel, false);
	panel.state.form_guard = false;
}

void InitializeControls(Panel &panel)
{
	panel.state.form_guard = true;
	SetControlText(panel, id_bitrate, std::to_string(panel.controller.store.settings.bitrate));
	SyncQuality(panel, true);
	MaskSecrets(panel);
	panel.state.form_guard = false;
	RebuildRows(panel);
	UpdateControlStates(panel);
}

void OnFieldEdited(Panel &panel, int32_t id)
{
	if (panel.state.form_guard)
		return;
	if (id == id_bitrate) {
		SetBitrate(panel.controller, ParseBitrate(panel.ui.Text(id_bitrate)));
		panel.ui.InvalidatePanel(); // the upload budget follows
		return;
	}
	if (!HasSelection(panel))
		return;
	const auto index = static_cast<size_t>(panel.state.selected_index);
	if (id == id_own_bitrate) {
		// Only the destination's own bitrate: the field is disabled without one.
		if (Selected(panel).quality)
			SetBitrate(panel.controller, ParseBitrate(panel.ui.Text(id)), index);
		panel.ui.InvalidateRow(panel.state.selected_index);
		panel.ui.InvalidatePanel();
		return;
	}
	for (const FormField &field : form_fields) {
		if (field.id != id)
			continue;
		EditDestination(panel.controller, index, field.field, WideToUtf8(panel.ui.Text(id)));
		if (field.field == Field::Name)
			panel.ui.InvalidateRow(panel.state.selected_index);
		if (field.field == Field::Server)
			panel.ui.InvalidatePanel(); // the hint follows the protocol
	}
}

void OnServerFocusLost(Panel &panel)
{
	if (panel.state.form_guard || !MayEdit(panel.controller))
		return;
	if (CompleteServerUrls(panel.controller))
		AfterCommand(panel);
}

void OnFieldFocusChanged(Panel &panel, int32_t id)
{
	if (const EditFrame *frame = FindEditFrame(id))
		panel.ui.InvalidateArea(EditFrameRect(*frame, panel.state.dpi));
}

} // namespace torvane
