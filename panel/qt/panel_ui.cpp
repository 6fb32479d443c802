// The Qt side of the panel's toolkit interface: what the behaviour asks of the
// toolkit becomes calls on the window's widgets.
#include "panel/qt/panel_window.h"

#include "panel/qt/render.h"

#include <QDesktopServices>
#include <QUrl>

namespace torvane {

void QtPanelUi::SetText(int32_t id, const std::u16string &text)
{
	if (QLineEdit *field = window.Field(id)) {
		if (auto *limit = dynamic_cast<const TypingLimit *>(field->validator()))
			limit->Allow(static_cast<qsizetype>(text.size()));
		field->setText(ToQString(text));
	} else if (auto *button = dynamic_cast<QAbstractButton *>(window.Control(id)))
		button->setText(ToQString(text));
}

std::u16string QtPanelUi::Text(int32_t id) const
{
	if (QLineEdit *field = window.Field(id))
		return FromQString(field->text());
	if (auto *button = dynamic_cast<QAbstractButton *>(window.Control(id)))
		return FromQString(button->text());
	return std::u16string();
}

void QtPanelUi::SetEnabled(int32_t id, bool enabled)
{
	if (QWidget *control = window.Control(id))
		control->setEnabled(enabled);
	if (QLineEdit *field = window.Field(id))
		window.DimField(field, !enabled);
}

// A control counts as enabled while a message box disables the whole panel,
// as a Windows control does while its owner is disabled.
bool QtPanelUi::IsEnabled(int32_t id) const
{
	QWidget *control = window.Control(id);
	return control && control->isEnabledTo(&window);
}

void QtPanelUi::SetMasked(int32_t id, bool masked)
{
	if (QLineEdit *field = window.Field(id))
		field->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

bool QtPanelUi::IsMasked(int32_t id) const
{
	QLineEdit *field = window.Field(id);
	return field && field->echoMode() == QLineEdit::Password;
}

void QtPanelUi::SetFocus(int32_t id)
{
	if (QWidget *control = window.Control(id))
		control->setFocus(Qt::OtherFocusReason);
}

bool QtPanelUi::HasFocus(int32_t id) const
{
	QWidget *control = window.Control(id);
	return control && control->hasFocus();
}

void QtPanelUi::SetRowCount(int32_t count)
{
	window.List()->SetRowCount(count);
}

void QtPanelUi::SelectRow(int32_t row)
{
	window.List()->SelectRow(row);
}

void QtPanelUi::InvalidatePanel()
{
	window.update();
}

void QtPanelUi::InvalidateArea(const Rect &area)
{
	window.update(ToQRect(area));
}

void QtPanelUi::InvalidateControl(int32_t id)
{
	if (QWidget *control = window.Control(id))
		control->update();
}

void QtPanelUi::InvalidateRow(int32_t row)
{
	window.List()->UpdateRow(row);
}

void QtPanelUi::InvalidateList()
{
	window.List()->UpdateAllRows();
}

bool QtPanelUi::AskYesNo(const std::u16string &text)
{
	return window.RunBox(QMessageBox::Question, ToQString(text), QMessageBox::Yes | QMessageBox::No) ==
	       QMessageBox::Yes;
}

void QtPanelUi::ShowNotice(const std::u16string &text)
{
	window.RunBox(QMessageBox::Information, ToQString(text), QMessageBox::Ok);
}

bool QtPanelUi::AskText(const std::u16string &prompt, std::u16string &text, bool masked)
{
	QString value = ToQString(text);
	if (!window.RunTextBox(ToQString(prompt), value, masked))
		return false;
	text = FromQString(value);
	return true;
}

int32_t QtPanelUi::ChooseFromMenu(const Rect &anchor, const std::vector<std::u16string> &items, int32_t checked)
{
	return window.RunMenu(anchor, items, checked);
}

void QtPanelUi::OpenAddress(const char *url)
{
	QDesktopServices::openUrl(QUrl(QString::fromUtf8(url)));
}

void QtPanelUi::HidePanel()
{
	window.hide();
}

} // namespace torvane
