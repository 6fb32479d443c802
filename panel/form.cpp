// The form that edits the selected destination: what reaches the model from
// the fields and back, and the field inputs.
#include "panel/commands.h"

#include "settings/kick.h"
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

} // namespace

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

void CommitForm(Panel &panel)
{
	if (panel.state.form_guard || !panel.ui.HasWindow() || panel.engine.IsBusy())
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
		SetControlText(
			panel, id_server,
			panel.store.settings.destinations[static_cast<size_t>(panel.state.selected_index)].server);
		panel.state.form_guard = false;
		SetStatus(panel, Tr16(Txt::KickCompleted));
	}
	return true;
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

} // namespace torvane
