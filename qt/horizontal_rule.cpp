#include "horizontal_rule.h"

#include <QPainter>

namespace portauth::qt {

HorizontalRule::HorizontalRule(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HorizontalRule::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), 1), palette().color(QPalette::WindowText));
}

} // namespace portauth::qt
