#include "panel/remote.h"

#include "settings/utf8.h"
#include "settings/texts.h"

namespace torvane {

namespace {

// The window's controls when there is one, nothing otherwise; questions and
// notices are never shown.
class QuietUi final : public PanelUi {
public:
	explicit QuietUi(PanelUi *window_ui) : shown(window_ui) {}

	void SetText(int32_t id, const std::u16string &text) override
	{
		if (shown)
			shown->SetText(id, text);
	}
	std::u16string Text(int32_t id) const override { return shown ? shown->Text(id) : std::u16string(); }
	void SetEnabled(int32_t id, bool enabled) override
	{
		if (shown)
			shown->SetEnabled(id, enabled);
	}
	bool IsEnabled(int32_t id) const override { return shown && shown->IsEnabled(id); }
	void SetMasked(int32_t id, bool masked) override
	{
		if (shown)
			shown->SetMasked(id, masked);
	}
	bool IsMasked(int32_t id) const override { return !shown || shown->IsMasked(id); }
	void SetFocus(int32_t) override {}
	bool HasFocus(int32_t id) const override { return shown && shown->HasFocus(id); }
	void SetRowCount(int32_t count) override
	{
		if (shown)
			shown->SetRowCount(count);
	}
	void SelectRow(int32_t row) override
	{
		if (shown)
			shown->SelectRow(row);
	}
	void InvalidatePanel() override
	{
		if (shown)
			shown->InvalidatePanel();
	}
	void InvalidateArea(const Rect &area) override
	{
		if (shown)
			shown->InvalidateArea(area);
	}
	void InvalidateControl(int32_t id) override
	{
		if (shown)
			shown->InvalidateControl(id);
	}
	void InvalidateRow(int32_t row) override
	{
		if (shown)
			shown->InvalidateRow(row);
	}
	void InvalidateList() override
	{
		if (shown)
			shown->InvalidateList();
	}
	bool AskYesNo(const std::u16string &) override { return false; }
	void ShowNotice(const std::u16string &) override {}
	void OpenAddress(const char *) override {}
	void HidePanel() override {}
	bool HasWindow() const override { return shown != nullptr; }

private:
	PanelUi *shown;
};

template<typename Command>
auto WithPanel(ControlPanel &panel, Panel *shown, Command command)
{
	EnsureSettingsLoaded(panel.store, panel.settings_path);
	QuietUi ui(shown ? &shown->ui : nullptr);
	Panel quiet{ui, panel.state, panel.store, panel.engine, shown ? shown->video_info : nullptr};
	return command(quiet);
}

} // namespace

bool RemoteStartAll(ControlPanel &panel, Panel *shown, std::string &error)
{
	return WithPanel(panel, shown, [&error](Panel &quiet) {
		if (StartAllCommand(quiet))
			return true;
		error = WideToUtf8(quiet.state.status_message);
		return false;
	});
}

void RemoteStopAll(ControlPanel &panel, Panel *shown)
{
	// Nothing to stop: the status line keeps a sentence the user may not
	// have read yet.
	if (!panel.engine.IsBusy())
		return;
	WithPanel(panel, shown, [](Panel &quiet) { StopAllCommand(quiet); });
}

bool RemoteStartDestination(ControlPanel &panel, Panel *shown, size_t index, std::string &error)
{
	return WithPanel(panel, shown, [&](Panel &quiet) {
		CommitForm(quiet);
		CompleteKickUrlsInForm(quiet);
		error.clear();
		// A refused save has already reported itself.
		const bool started =
			SaveFromPanel(quiet) && panel.engine.StartDestination(panel.store.settings, index, error);
		if (started)
			SetStatus(quiet, Tr16(Txt::Started));
		else if (!error.empty())
			ReportError(quiet, error);
		error = WideToUtf8(quiet.state.status_message);
		UpdateControlStates(quiet);
		quiet.ui.InvalidatePanel();
		return started;
	});
}

bool RemoteStopDestination(ControlPanel &panel, Panel *shown, size_t index, std::string &error)
{
	return WithPanel(panel, shown, [&](Panel &quiet) {
		if (!panel.engine.StopDestination(index)) {
			error = Tr(Txt::NotStreaming, {std::to_string(index)});
			return false;
		}
		UpdateControlStates(quiet);
		quiet.ui.InvalidatePanel();
		return true;
	});
}

void FollowObsStreaming(ControlPanel &panel, Panel *shown, ObsStream what)
{
	EnsureSettingsLoaded(panel.store, panel.settings_path);
	if (!panel.store.settings.follow_obs_stream)
		return;
	const bool busy = panel.engine.IsBusy();
	std::string error;
	if (what == ObsStream::Started && !busy)
		RemoteStartAll(panel, shown, error);
	else if (what == ObsStream::Stopped)
		RemoteStopAll(panel, shown);
	else if (what == ObsStream::Ended && busy)
		WithPanel(panel, shown, [](Panel &quiet) { SetStatus(quiet, Tr16(Txt::ObsStreamEnded)); });
}

} // namespace torvane
