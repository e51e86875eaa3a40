#pragma once

#include <QClipboard>
#include <QWidget>

#include <array>
#include <memory>

class QAccessibleInterface;
class QDropEvent;
class QKeyEvent;
class QLineEdit;

#include "frmmain.h"

namespace portauth::qt {

// The window frmMain drawn with Qt Widgets from the shared table. It draws,
// wires Qt's events to ui::frmMain and the rules in ui/, and talks to Qt:
// what the window does is decided there.
class FormWidget : public QWidget, public ui::FormView {
    Q_OBJECT

public:
    // Without messages, they show in windows beside this one.
    FormWidget(std::unique_ptr<ui::ClipboardPort> clipboard, std::unique_ptr<ui::SettingsPort> settings,
               std::unique_ptr<ui::MessagePort> messages = nullptr, QWidget* parent = nullptr);
    ~FormWidget() override;

    std::u16string Text(ui::ControlId box) const override;
    void SetText(ui::ControlId box, std::u16string_view text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setWindowFrame();
    QWidget* createControl(const ui::Control& control);
    QRect toPixels(const ui::TwipsRect& twips) const;
    void setAccessibleNames();
    void setFocusOrder();
    void connectEvents();
    bool keyPressed(QLineEdit* edit, const QKeyEvent& key);
    bool paste(QLineEdit* edit, QClipboard::Mode mode);
    bool dropped(QLineEdit* edit, QDropEvent& drop);
    void showMenu(QLineEdit* edit, const QPoint& at);
    void offerSelection();
    static QAccessibleInterface* accessibleBox(const QString& className, QObject* object);
    void readOut(QLineEdit* box, const QString& part);
    void copyMade();
    QWidget* control(ui::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }

    std::array<QWidget*, ui::kControlCount> controls_{};
    std::unique_ptr<ui::ClipboardPort> clipboard_;
    std::unique_ptr<ui::SettingsPort> settings_;
    std::unique_ptr<ui::MessagePort> messages_;
    std::unique_ptr<ui::frmMain> form_;
    bool offeringSelection_ = false;
    QLineEdit* readOutBox_ = nullptr; // and what an assistive program read of it, this turn
    QString readOutPart_;
};

} // namespace portauth::qt
