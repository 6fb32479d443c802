#pragma once

#include "panel/panel_ui.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// A toolkit that keeps the controls' state in maps and records what the panel
// asked of it, so the panel's behaviour can be tested without a window.
struct FakeUi : torvane::PanelUi {
	std::map<int32_t, std::u16string> texts;
	std::map<int32_t, bool> enabled;
	std::map<int32_t, bool> masked;
	int32_t focus = 0;
	int32_t row_count = 0;
	int32_t selected_row = -1;

	// Recorded requests.
	int panel_invalidations = 0;
	std::vector<torvane::Rect> areas;
	std::vector<int32_t> controls;
	std::vector<int32_t> rows;
	int list_invalidations = 0;
	std::vector<std::u16string> questions;
	std::deque<bool> answers; // what the user answers, in order; No when empty
	std::vector<std::u16string> notices;
	std::vector<std::string> addresses;
	bool hidden = false;

	void SetText(int32_t id, const std::u16string &text) override { texts[id] = text; }
	std::u16string Text(int32_t id) const override
	{
		auto it = texts.find(id);
		return it == texts.end() ? std::u16string() : it->second;
	}
	void SetEnabled(int32_t id, bool on) override { enabled[id] = on; }
	bool IsEnabled(int32_t id) const override
	{
		auto it = enabled.find(id);
		return it == enabled.end() ? true : it->second;
	}
	void SetMasked(int32_t id, bool on) override { masked[id] = on; }
	bool IsMasked(int32_t id) const override
	{
		auto it = masked.find(id);
		return it != masked.end() && it->second;
	}
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
		if (answers.empty())
			return false;
		const bool answer = answers.front();
		answers.pop_front();
		return answer;
	}
	void ShowNotice(const std::u16string &text) override { notices.push_back(text); }
	void OpenAddress(const char *url) override { addresses.push_back(url); }
	void HidePanel() override { hidden = true; }

	void ForgetRequests()
	{
		panel_invalidations = 0;
		areas.clear();
		controls.clear();
		rows.clear();
		list_invalidations = 0;
		questions.clear();
		notices.clear();
		addresses.clear();
	}
};
