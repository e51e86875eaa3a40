#pragma once

#include <QPoint>
#include <QRect>

namespace portauth {

// A twip is 1/1440 inch. Converting through the same logical dpi that turns
// the window's point-sized font into pixels keeps controls and text in
// proportion on every display.
int twipsToPixels(int twips, int logicalDpi);
QPoint twipsToPixels(QPoint twips, int logicalDpi);
QRect twipsToPixels(const QRect& twips, int logicalDpi);

} // namespace portauth
