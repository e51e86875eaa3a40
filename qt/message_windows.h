#pragma once

#include <QObject>
#include <QPointer>

#include <map>

#include "frmmain.h"

class QLabel;
class QWidget;

namespace portauth::qt {

// Failure messages in small windows beside the main window, one per cause,
// placed and dismissed as ui::PlaceMessages says. They never take the
// keyboard focus, so typing goes on into the box the user is in.
class MessageWindows final : public QObject, public ui::MessagePort {
public:
    explicit MessageWindows(QWidget* window);
    void Show(ui::Failure cause, std::u16string_view text) override;
    void Close(ui::Failure cause) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* messageFor(ui::Failure cause);
    void placeAndShow();

    QWidget* window_;
    std::map<ui::Failure, QPointer<QWidget>> messages_;
};

} // namespace portauth::qt
