#pragma once

#include "panel/layout.h"

#include <cstdint>
#include <string>
#include <vector>

// What the panel's behaviour asks of the toolkit that shows it. Each toolkit
// (Qt on Linux, Win32 on Windows) implements this over its own widgets; the
// tests implement it with a recording fake. Controls are named by their
// identifiers; rectangles are in the panel's device pixels.
namespace torvane {

struct PanelUi {
	virtual ~PanelUi() = default;

	virtual void SetText(int32_t id, const std::u16string &text) = 0;
	virtual std::u16string Text(int32_t id) const = 0;
	virtual void SetEnabled(int32_t id, bool enabled) = 0;
	virtual bool IsEnabled(int32_t id) const = 0;
	// Shows bullets instead of the text of a field, or the text itself.
	virtual void SetMasked(int32_t id, bool masked) = 0;
	virtual bool IsMasked(int32_t id) const = 0;
	virtual void SetFocus(int32_t id) = 0;
	virtual bool HasFocus(int32_t id) const = 0;

	// The destination list: how many rows it shows and which one is selected
	// (-1 for none). Rows are painted from the model.
	virtual void SetRowCount(int32_t count) = 0;
	virtual void SelectRow(int32_t row) = 0;

	// Marks areas for repainting; nothing is drawn at once.
	virtual void InvalidatePanel() = 0;
	virtual void InvalidateArea(const Rect &area) = 0;
	virtual void InvalidateControl(int32_t id) = 0;
	virtual void InvalidateRow(int32_t row) = 0;
	virtual void InvalidateList() = 0;

	// A modal question with Yes and No, and a modal notice with OK, both
	// captioned "Torvane".
	virtual bool AskYesNo(const std::u16string &text) = 0;
	virtual void ShowNotice(const std::u16string &text) = 0;
	// A modal box with `prompt` over a field that starts with `text`, masked
	// with bullets when asked, and OK and Cancel. True with the field's text in
	// `text` when the user took OK.
	virtual bool AskText(const std::u16string &prompt, std::u16string &text, bool masked) = 0;
	// A popup menu of `items` below `anchor` (a control's rectangle) with the
	// `checked` one marked; the index the user chose, or -1.
	virtual int32_t ChooseFromMenu(const Rect &anchor, const std::vector<std::u16string> &items,
				       int32_t checked) = 0;
	virtual void OpenAddress(const char *url) = 0;
	virtual void HidePanel() = 0;
};

} // namespace torvane
