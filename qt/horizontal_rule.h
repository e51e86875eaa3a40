#pragma once

#include <QWidget>

namespace portauth::qt {

// A one-pixel line in the window-text colour across the widget's width.
// It only decorates: it takes no focus and lets mouse events through.
class HorizontalRule : public QWidget {
public:
    explicit HorizontalRule(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace portauth::qt
