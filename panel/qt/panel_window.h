#pragma once

// Qt before the host's headers: libobs's SIMD emulation clashes with the
// compiler's intrinsics that Qt includes.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include "panel/commands.h"

#include <map>
#include <memory>

// The control panel on Qt 6: a fixed-size top-level window whose children are
// placed from the panel's layout table, painted from its drawing lists, and
// whose input is forwarded to the panel's behaviour.
namespace torvane {

class PanelWindow;

// An owner-drawn push button.
class PanelButton : public QAbstractButton {
public:
	PanelButton(PanelWindow &window, int32_t id, QWidget *parent);
	int32_t Id() const { return id; }

protected:
	void paintEvent(QPaintEvent *event) override;
	void enterEvent(QEnterEvent *event) override;
	void leaveEvent(QEvent *event) override;

private:
	PanelWindow &window;
	int32_t id;
};

// The destination list: one painted row per destination, a tick strip at the
// left that toggles on click, Space to toggle, single selection.
class DestinationList : public QAbstractScrollArea {
public:
	DestinationList(PanelWindow &window, QWidget *parent);
	void SetRowCount(int32_t count);
	void SelectRow(int32_t row);
	int32_t CurrentRow() const { return current; }
	void UpdateRow(int32_t row);
	// The row rectangle in the viewport's coordinates.
	QRect RowRect(int32_t row) const;
	int32_t RowAt(int y) const;

protected:
	void paintEvent(QPaintEvent *event) override;
	void mousePressEvent(QMouseEvent *event) override;
	void keyPressEvent(QKeyEvent *event) override;
	void resizeEvent(QResizeEvent *event) override;

private:
	void UpdateScrollRange();
	void EnsureVisible(int32_t row);
	// The rows as text, one "name: status" line each, for screen readers: the
	// rows themselves are only painted.
	void UpdateDescription();

	PanelWindow &window;
	int32_t count = 0;
	int32_t current = -1;
};

class QtPanelUi : public PanelUi {
public:
	explicit QtPanelUi(PanelWindow &owner) : window(owner) {}
	void SetText(int32_t id, const std::u16string &text) override;
	std::u16string Text(int32_t id) const override;
	void SetEnabled(int32_t id, bool enabled) override;
	bool IsEnabled(int32_t id) const override;
	void SetMasked(int32_t id, bool masked) override;
	bool IsMasked(int32_t id) const override;
	void SetFocus(int32_t id) override;
	bool HasFocus(int32_t id) const override;
	void SetRowCount(int32_t count) override;
	void SelectRow(int32_t row) override;
	void InvalidatePanel() override;
	void InvalidateArea(const Rect &area) override;
	void InvalidateControl(int32_t id) override;
	void InvalidateRow(int32_t row) override;
	void InvalidateList() override;
	bool AskYesNo(const std::u16string &text) override;
	void ShowNotice(const std::u16string &text) override;
	void OpenAddress(const char *url) override;
	void HidePanel() override;

private:
	PanelWindow &window;
};

class PanelWindow : public QWidget {
public:
	// `owner` is OBS's main window (may be null); the panel stays above it.
	PanelWindow(QWidget *owner, uint32_t dpi, PanelState &state, SettingsStore &store, MultistreamEngine &engine,
		    VideoInfoSource video_info);
	~PanelWindow() override;

	Panel &Behaviour() { return panel; }
	uint32_t Dpi() const { return state.dpi; }
	QWidget *Control(int32_t id) const;
	QLineEdit *Field(int32_t id) const;
	DestinationList *List() const { return list; }

protected:
	void paintEvent(QPaintEvent *event) override;
	void closeEvent(QCloseEvent *event) override;
	bool eventFilter(QObject *watched, QEvent *event) override;

private:
	void CreateControls();

	PanelState &state;
	QtPanelUi ui;
	Panel panel;
	std::map<int32_t, QWidget *> controls;
	DestinationList *list = nullptr;
	QTimer timer;
};

inline constexpr const char *panel_title = "Torvane \xE2\x80\x94 Multistream for OBS";

} // namespace torvane
