#include "twips.h"

#include <cmath>

namespace portauth {

namespace {
constexpr double twipsPerInch = 1440.0;
}

int twipsToPixels(int twips, int logicalDpi)
{
    return static_cast<int>(std::lround(twips * logicalDpi / twipsPerInch));
}

QPoint twipsToPixels(QPoint twips, int logicalDpi)
{
    return {twipsToPixels(twips.x(), logicalDpi), twipsToPixels(twips.y(), logicalDpi)};
}

QRect twipsToPixels(const QRect& twips, int logicalDpi)
{
    return {twipsToPixels(twips.topLeft(), logicalDpi),
            QSize(twipsToPixels(twips.width(), logicalDpi),
                  twipsToPixels(twips.height(), logicalDpi))};
}

} // namespace portauth
