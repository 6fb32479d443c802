#pragma once

#include "panel/panel_ui.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// What the panel asked of the toolkit since the last ForgetRequests.
struct UiRequests {
	int panel_invalidations = 0, list_invalidations = 0;
	std::vector<torvane::Rect> areas;
	std::vector<int32_t> controls, rows;
	std::vector<std::u16string> questions, notices;
	std::vector<bool> text_masks; // whether each text box was masked
	std::vector<std::vector<std::u16string>> menus;
	std::vector<std::string> addresses;
};

// A toolkit that keeps the controls' state in maps and records the requests.
struct FakeUi : torvane::PanelUi, UiRequests {
	std::map<int32_t, std::u16string> texts;
	std::map<int32_t, bool> enabled, masked; // enabled unless set
	int32_t focus = 0, row_count = 0, selected_row = -1;
	bool hidden = false;
	std::deque<bool> answers;         // the user's answers to questions, in order; No when none are left
	int32_t menu_choice = -1;         // the entry the user picks from a menu
	std::deque<std::u16string> typed; // what the user types into text boxes, in order; Cancel when none are left

	void SetText(int32_t id, const std::u16string &text) override { texts[id] = text; }
	std::u16string Text(int32_t id) const override { return texts.count(id) ? texts.at(id) : u""; }
	void SetEnabled(int32_t id, bool on) override { enabled[id] = on; }
	bool IsEnabled(int32_t id) const override { return !enabled.count(id) || enabled.at(id); }
	void SetMasked(int32_t id, bool on) override { masked[id] = on; }
	bool IsMasked(int32_t id) const override { return masked.count(id) && masked.at(id); }
	void SetFocus(int32_t id) override { focus = id; }
	bool HasFocus(int32_t id) const override { return focus == id; }
	void SetRowCount(int32_t count) override { row_count = count; }
	void SelectRow(int32_t row) override { selected_row = row; }
	void InvalidatePanel() override { panel_invalidations++; }
	void InvalidateArea(const torvane::Rect &area) override { areas.push_back(area); }
	void InvalidateControl(int32_t id) override { controls.push_back(id); }
	void InvalidateRow(int32_t row) override { rows.push_back(row); }
	void InvalidateList() override { list_invalidations++; }
	bool AskYesNo(const std::u16string &text) override
	{
		questions.push_back(text);
		const bool answer = !answers.empty() && answers.front();
		if (!answers.empty())
			answers.pop_front();
		return answer;
	}
	void ShowNotice(const std::u16string &text) override { notices.push_back(text); }
	bool AskText(const std::u16string &, std::u16string &text, bool mask) override
	{
		text_masks.push_back(mask);
		if (typed.empty())
			return false;
		text = typed.front();
		typed.pop_front();
		return true;
	}
	int32_t ChooseFromMenu(const torvane::Rect &, const std::vector<std::u16string> &items, int32_t) override
	{
		menus.push_back(items);
		return menu_choice;
	}
	void OpenAddress(const char *url) override { addresses.push_back(url); }
	void HidePanel() override { hidden = true; }

	void ForgetRequests() { static_cast<UiRequests &>(*this) = {}; }
};
