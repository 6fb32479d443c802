#pragma once

// Qt before the host's headers: libobs's SIMD emulation clashes with the
// compiler's intrinsics that Qt includes.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QValidator>
#include <QWidget>

#include "panel/commands.h"
#include "panel/form.h"
#include "panel/list.h"
#include "panel/painting.h"
#include "panel/refresh.h"
#include "panel/row_actions.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

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
	// Repaints every row, and reads their names again.
	void UpdateAllRows();
	// The row rectangle in the viewport's coordinates.
	QRect RowRect(int32_t row) const;
	int32_t RowAt(int y) const;

protected:
	void paintEvent(QPaintEvent *event) override;
	void mousePressEvent(QMouseEvent *event) override;
	void keyPressEvent(QKeyEvent *event) override;
	void resizeEvent(QResizeEvent *event) override;
	void contextMenuEvent(QContextMenuEvent *event) override;

private:
	// Selects a row as a click on it does.
	void Select(int32_t row);
	void UpdateScrollRange();
	void EnsureVisible(int32_t row);
	// The rows as text, one "name: status" line each (with the figure and the
	// action in brackets when there are any), for screen readers: the rows
	// themselves are only painted. A changed row rebuilds its own line; the
	// description is set once for all the rows that changed meanwhile.
	QString RowDescription(int32_t row) const;
	void UpdateDescription();
	void UpdateDescription(int32_t row);
	void PublishDescription();

	PanelWindow &window;
	int32_t count = 0;
	int32_t current = -1;
	QStringList lines;
	bool publish_pending = false;
};

// A field's length limit as the Windows edit control keeps it: typing and
// pasting can't make the text longer than the limit, while a longer text the
// panel sets (a value loaded from the file) is shown and kept whole.
class TypingLimit : public QValidator {
public:
	TypingLimit(QLineEdit *field, int limit);
	State validate(QString &input, int &position) const override;
	// Called before the panel sets a text of this length itself.
	void Allow(qsizetype length) const { current = length; }

private:
	qsizetype limit;
	mutable qsizetype current = 0;
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
	bool AskText(const std::u16string &prompt, std::u16string &text, bool masked) override;
	int32_t ChooseFromMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked) override;
	void OpenAddress(const char *url) override;
	void HidePanel() override;

private:
	PanelWindow &window;
};

class PanelWindow : public QWidget {
public:
	// `owner` is OBS's main window (may be null); the panel stays above it.
	PanelWindow(QWidget *owner, uint32_t dpi, PanelState &state, Controller &controller);
	~PanelWindow() override;

	Panel &Behaviour() { return panel; }
	// Shows a message box captioned "Torvane" and waits for its answer. While it
	// is open the panel takes no input and OBS's main window stays usable, as
	// a Windows message box disables only its owner.
	QMessageBox::StandardButton RunBox(QMessageBox::Icon icon, const QString &text,
					   QMessageBox::StandardButtons buttons);
	// Asks for a text in a box run as RunBox runs its box: true with the text
	// when the user took OK.
	bool RunTextBox(const QString &prompt, QString &text, bool masked);
	bool BoxOpen() const { return !boxes.empty() || menu; }
	// Shows a popup menu below `anchor` and waits for a choice: its index, or -1.
	int32_t RunMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked);
	// Paints a field's text in the disabled colour, or in the normal one.
	void DimField(QLineEdit *field, bool dimmed);
	uint32_t Dpi() const { return state.dpi; }
	QWidget *Control(int32_t id) const;
	QLineEdit *Field(int32_t id) const;
	DestinationList *List() const { return list; }

protected:
	void paintEvent(QPaintEvent *event) override;
	void closeEvent(QCloseEvent *event) override;
	bool eventFilter(QObject *watched, QEvent *event) override;

private:
	friend void DestroyPanelWindow(PanelWindow *window);
	void CreateControls();
	// Shows a dialog it then owns over the panel and waits until it is done;
	// `answer` reads it unless the panel is going.
	void RunDialog(QDialog *dialog, const std::function<void()> &answer);

	PanelState &state;
	QtPanelUi ui;
	Panel panel;
	std::map<int32_t, QWidget *> controls;
	DestinationList *list = nullptr;
	QTimer timer;
	std::vector<QPointer<QDialog>> boxes;
	QPointer<QMenu> menu; // while a popup menu runs its own event loop
	QPointer<QWidget> focus_before_box;
	bool destroy_requested = false;
	QString field_style;
	QString dimmed_field_style;
};

// The panel's window between openings, kept by the module.
struct PanelWindowSlot {
	QPointer<PanelWindow> window;
};

// Destroys a panel window now, or, when one of its message boxes is running its
// own event loop further up the stack, dismisses the boxes and lets the window
// go once the command that opened them has returned.
void DestroyPanelWindow(PanelWindow *window);

} // namespace torvane
