// The form that edits the selected destination: what reaches the settings from
// the fields and back, and the field inputs.
#include "panel/form.h"

#include "panel/list.h"
#include "panel/refresh.h"
#include "settings/utf8.h"
#include "settings/texts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace torvane {

namespace {

// The controls that need a selected destination.
const int32_t selection_controls[] = {id_name,     id_server, id_key,    id_username,
				      id_password, id_show,   id_remove, id_guide};

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

} // namespace

bool IsSelectionControl(int32_t id)
{
	for (int32_t control : selection_controls)
		if (control == id)
			return true;
	return false;
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

	const bool enabled = selection && MayEdit(panel.controller);
	for (int32_t id : selection_controls)
		panel.ui.SetEnabled(id, enabled);
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
	const int32_t bitrate = panel.controller.store.settings.bitrate;
	if (ParseBitrate(panel.ui.Text(id_bitrate)) != bitrate)
		SetControlText(panel, id_bitrate, std::to_string(bitrate));
	panel.state.form_guard = false;
}

void InitializeControls(Panel &panel)
{
	panel.state.form_guard = true;
	SetControlText(panel, id_bitrate, std::to_string(panel.controller.store.settings.bitrate));
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
	for (const FormField &field : form_fields) {
		if (field.id != id)
			continue;
		const auto index = static_cast<size_t>(panel.state.selected_index);
		EditDestination(panel.controller, index, field.field, WideToUtf8(panel.ui.Text(id)));
		if (field.field == Field::Name)
			panel.ui.InvalidateRow(panel.state.selected_index);
	}
}

void OnServerFocusLost(Panel &panel)
{
	if (panel.state.form_guard || !MayEdit(panel.controller))
		return;
	if (CompleteKickUrls(panel.controller))
		AfterCommand(panel);
}

void OnFieldFocusChanged(Panel &panel, int32_t id)
{
	if (const EditFrame *frame = FindEditFrame(id))
		panel.ui.InvalidateArea(EditFrameRect(*frame, panel.state.dpi));
}

} // namespace torvane
