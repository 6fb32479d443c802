#pragma once

#include "panel/painting.h"

#include <QColor>
#include <QFont>

class QPainter;

// Draws the panel's drawing operations with QPainter: anti-aliased rounded
// shapes with one-pixel outlines, and text laid out as each operation says.
namespace torvane {

QColor ToQColor(Color color);
QFont PanelFont(FontRole role, uint32_t dpi);
void Render(QPainter &painter, const DrawList &ops, uint32_t dpi);

} // namespace torvane
