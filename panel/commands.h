#pragma once

#include "engine/engine.h"
#include "panel/live_status.h"
#include "panel/panel_ui.h"
#include "settings/store.h"

#include <cstdint>
#include <string>
#include <vector>

struct obs_video_info;

// The control panel's behaviour, independent of any toolkit: the form that edits
// the selected destination, the commands behind the buttons, the enable rules,
// the status message, the destination list's ticks and selection, and the live
// refresh that marks changed texts for repainting.
namespace torvane {

inline constexpr const char16_t *status_welcome = u"Add your keys, choose destinations, and you're ready.";
inline constexpr const char *host_stopped_sentence =
	"Streams stopped: OBS is closing or changing profile / scenes.";

// Panel state that outlives the window: a panel opened again shows it as it was.
struct PanelState {
	int32_t selected_index = 0; // -1 while the list is empty
	bool form_guard = false;    // set while the panel writes into its own controls
	std::u16string status_message = status_welcome;
	bool status_error = false;
	uint32_t dpi = 96;
	int32_t hovered_button = 0; // control id, 0 for none

	// What the live refresh last saw.
	std::vector<RowLook> cached_rows;
	std::string cached_header;
	StatusLine cached_summary;
};

// Answers the host's video settings; false when the host has none.
using VideoInfoSource = bool (*)(obs_video_info *info);

// Everything one panel works on. The module binds its one store, engine and
// state to the toolkit's window; the tests bind their own.
struct Panel {
	PanelUi &ui;
	PanelState &state;
	SettingsStore &store;
	MultistreamEngine &engine;
	VideoInfoSource video_info;
};

// Shared by the panel's files.
int32_t DestinationCount(const Panel &panel);
bool HasSelection(const Panel &panel);
// A control that can only be used with a destination selected.
bool IsSelectionControl(int32_t id);
// Masks the key and password fields and names the button "Show".
void MaskSecrets(Panel &panel);

// After the toolkit created the controls: fills the bitrate field, the list
// and the form, and sets which controls may be used.
void InitializeControls(Panel &panel);

void CommitForm(Panel &panel);
void LoadForm(Panel &panel);
void UpdateControlStates(Panel &panel);
bool CompleteKickUrlsInForm(Panel &panel);
bool SaveFromPanel(Panel &panel);
void ReportError(Panel &panel, const std::string &sentence);
void OpenSetupGuide(Panel &panel);

// Sets an informational sentence: it replaces the status message and clears
// the error colour.
void SetStatus(Panel &panel, const std::u16string &sentence);

// The status line after a start.
inline constexpr const char16_t *sending_sentence = u"Sending your OBS program. Confirm each platform's preview.";

// "Start all": commit the form, complete Kick URLs, validate, save, start.
// False when it refused or failed; the sentence is then the status message.
bool StartAllCommand(Panel &panel);
// "Stop all".
void StopAllCommand(Panel &panel);

// Input forwarded by the toolkit.
void OnButtonClicked(Panel &panel, int32_t id);
void OnBitrateEdited(Panel &panel);
void OnServerFocusLost(Panel &panel);
void OnFieldFocusChanged(Panel &panel, int32_t id);
void OnButtonHovered(Panel &panel, int32_t id); // 0 when the pointer left a button
void OnTimer(Panel &panel);
// The user closed the window; returns true when it was hidden.
bool OnCloseRequested(Panel &panel);
// The window is gone: the caches start afresh for the next one.
void OnPanelDestroyed(PanelState &state);

// After the host stopped every stream.
void OnStreamsStoppedByHost(Panel &panel);

// The destination list.
void RebuildRows(Panel &panel);
bool CanChangeTicks(const Panel &panel);
void ToggleTick(Panel &panel, int32_t row);
// The list changed a row's tick by itself (the toolkit refused it beforehand
// when CanChangeTicks is false): the destination follows, the selection stays.
void OnTickChanged(Panel &panel, int32_t row, bool ticked);
void OnRowSelected(Panel &panel, int32_t row);

// The list's navigation keys move the selection as the Windows list view does
// in its report view. `top` is the first visible row and `per_page` how many
// rows fit; returns the row to select, -1 when the list is empty.
enum class ListKey { Up, Down, Home, End, PageUp, PageDown };
int32_t ListKeyTarget(ListKey key, int32_t current, int32_t count, int32_t top, int32_t per_page);

// Each row's own action, on its right side, on its context menu and on Enter.
// An action is offered only where the engine would take it: stop for a busy
// destination, retry for a failed one, start for a resting included one while
// the settings can be saved.
RowAction RowActionFor(const Panel &panel, int32_t row);
// The action's name on the row's context menu.
const char16_t *RowActionLabel(RowAction action);
// The context menu's entries, in order; only the row's own action is enabled.
inline constexpr RowAction row_menu_actions[] = {RowAction::Start, RowAction::Stop, RowAction::Retry};
// Runs the row's action when it is `expected` (what the user saw and chose).
// A start first does what "Start all" does before starting: it commits the
// form, completes Kick URLs and saves, and reports a refusal the same way.
void RunRowAction(Panel &panel, int32_t row, RowAction expected);
// A click in the list at x in a row whose rectangle is `item`: whether it falls
// in the action strip at the row's right side (`dpi` the panel's).
bool InRowActionStrip(const Rect &item, int32_t x, uint32_t dpi);
// Enter in the list: the selected row's action.
void OnListEnter(Panel &panel);

// Marks for repainting the rows, header and summary whose text or colour
// changed since the last refresh.
void LiveRefresh(Panel &panel);

// The host's video settings as the panel's texts use them: null when none.
const obs_video_info *ReadVideoInfo(const Panel &panel, obs_video_info &storage);

// Parses the bitrate field as std::stoi would and requires the whole text.
int32_t ParseBitrate(const std::u16string &text);

// The help page for a destination's platform.
const char *GuideUrlFor(const std::string &platform);

} // namespace torvane
