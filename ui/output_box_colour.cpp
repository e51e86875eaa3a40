#include "output_box_colour.h"

#include <QPalette>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace portauth {

#ifdef Q_OS_WIN

QColor outputBoxColour(const QPalette&)
{
    const COLORREF colour = GetSysColor(COLOR_SCROLLBAR);
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

#else

namespace {

const QColor windowsScrollBarGrey(200, 200, 200);

int squaredDistance(const QColor& a, const QColor& b)
{
    const int red = a.red() - b.red();
    const int green = a.green() - b.green();
    const int blue = a.blue() - b.blue();
    return red * red + green * green + blue * blue;
}

} // namespace

QColor outputBoxColour(const QPalette& palette)
{
    QColor nearest = palette.color(QPalette::Base);
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        if (role == QPalette::NoRole)
            continue;
        const QColor candidate = palette.color(static_cast<QPalette::ColorRole>(role));
        if (squaredDistance(candidate, windowsScrollBarGrey)
            < squaredDistance(nearest, windowsScrollBarGrey))
            nearest = candidate;
    }
    return nearest;
}

#endif

} // namespace portauth
