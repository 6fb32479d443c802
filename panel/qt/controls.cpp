// The panel's children on Qt, made from the layout table: owner-drawn buttons,
// fields that keep their length limit as the Windows edit control does, and
// labels.
#include "panel/qt/panel_window.h"

#include "panel/qt/render.h"
#include "settings/texts.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPainter>

namespace torvane {

namespace {

QString Hex(Color color)
{
	return ToQColor(color).name();
}

} // namespace

PanelButton::PanelButton(PanelWindow &owner, int32_t control_id, QWidget *parent)
	: QAbstractButton(parent), window(owner), id(control_id)
{
	setFocusPolicy(Qt::StrongFocus);
	setAttribute(Qt::WA_Hover);
}

void PanelButton::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	ButtonPaintState paint_state;
	paint_state.pressed = isDown();
	paint_state.focused = hasFocus();
	Render(painter, PaintButton(window.Behaviour(), id, {0, 0, width(), height()}, paint_state), window.Dpi());
}

void PanelButton::enterEvent(QEnterEvent *event)
{
	OnButtonHovered(window.Behaviour(), id);
	QAbstractButton::enterEvent(event);
}

void PanelButton::leaveEvent(QEvent *event)
{
	if (window.Behaviour().state.hovered_button == id)
		OnButtonHovered(window.Behaviour(), 0);
	QAbstractButton::leaveEvent(event);
}

TypingLimit::TypingLimit(QLineEdit *field, int max_length) : QValidator(field), limit(max_length)
{
	connect(field, &QLineEdit::textChanged, this, [this](const QString &text) { current = text.size(); });
}

QValidator::State TypingLimit::validate(QString &input, int &) const
{
	return input.size() > limit && input.size() > current ? Invalid : Acceptable;
}

void PanelWindow::CreateControls()
{
	const uint32_t dpi = state.dpi;
	// Masked fields show U+2022 bullets, as the Windows fields do.
	const QString field_rule =
		QStringLiteral("QLineEdit { background: %1; color: %2; border: none; padding: 0; "
			       "selection-background-color: %3; lineedit-password-character: 8226; }");
	field_style = field_rule.arg(Hex(color_field), Hex(color_text), Hex(color_highlight));
	dimmed_field_style = field_rule.arg(Hex(color_field), Hex(color_disabled_text), Hex(color_highlight));
	const QString label_style =
		QStringLiteral("QLabel { background: %1; color: %2; }").arg(Hex(color_card), Hex(color_muted));

	// Created in the table's order, which Qt's focus chain follows for Tab.
	for (const ControlSpec &spec : panel_controls) {
		QWidget *widget = nullptr;
		switch (spec.kind) {
		case ControlKind::List:
			list = new DestinationList(*this, this);
			widget = list;
			break;
		case ControlKind::Label: {
			auto *label = new QLabel(QString::fromUtf8(Tr(spec.caption)), this);
			label->setFont(PanelFont(FontRole::Small, dpi));
			label->setStyleSheet(label_style);
			label->setFocusPolicy(Qt::NoFocus);
			widget = label;
			break;
		}
		case ControlKind::Field: {
			auto *field = new QLineEdit(this);
			field->setFrame(false);
			field->setValidator(new TypingLimit(field, spec.max_length));
			field->setStyleSheet(field_style);
			field->setEchoMode(spec.masked ? QLineEdit::Password : QLineEdit::Normal);
			field->installEventFilter(this);
			const int32_t id = spec.id;
			connect(field, &QLineEdit::textChanged, this, [this, id]() { OnFieldEdited(panel, id); });
			widget = field;
			break;
		}
		case ControlKind::Button: {
			auto *button = new PanelButton(*this, spec.id, this);
			button->setText(QString::fromUtf8(Tr(spec.caption)));
			const int32_t id = spec.id;
			connect(button, &QAbstractButton::clicked, this, [this, id]() { OnButtonClicked(panel, id); });
			widget = button;
			break;
		}
		}
		widget->setGeometry(ToQRect(ControlRect(spec, dpi)));
		if (spec.kind != ControlKind::Label) {
			widget->setObjectName(QStringLiteral("control%1").arg(spec.id));
			controls[spec.id] = widget;
		}
	}
}

void PanelWindow::DimField(QLineEdit *field, bool dimmed)
{
	field->setStyleSheet(dimmed ? dimmed_field_style : field_style);
}

} // namespace torvane
