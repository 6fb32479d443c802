#pragma once

#include "panel/painting.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <string>

class QPainter;

// Draws the panel's drawing operations with QPainter: anti-aliased rounded
// shapes with one-pixel outlines, and text laid out as each operation says.
namespace torvane {

QColor ToQColor(Color color);
QRect ToQRect(const Rect &rect);
QString ToQString(const std::u16string &text);
std::u16string FromQString(const QString &text);
QFont PanelFont(FontRole role, uint32_t dpi);
void Render(QPainter &painter, const DrawList &ops, uint32_t dpi);

} // namespace torvane
