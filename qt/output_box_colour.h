#pragma once

#include <QColor>

class QPalette;

namespace portauth::qt {

// Background of the read-only output boxes: the colour of the running
// palette nearest to the default grey of a scroll bar on the desktop the
// window was drawn for.
QColor outputBoxColour(const QPalette& palette);

} // namespace portauth::qt
