#pragma once

#include <QColor>

class QPalette;

namespace portauth {

// Background of the read-only output boxes: the system's scroll-bar colour
// on Windows; elsewhere the colour of the running palette nearest to
// Windows' default scroll-bar grey.
QColor outputBoxColour(const QPalette& palette);

} // namespace portauth
