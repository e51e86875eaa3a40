#include "output_box_colour.h"

#include <QPalette>

namespace portauth::qt {
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

} // namespace portauth::qt
