#pragma once

#include <QWidget>

#include <array>
#include <memory>

#include "frmmain.h"

namespace portauth::qt {

// The window frmMain drawn with Qt Widgets from the shared table. It only
// renders and forwards: every decision is taken by ui::frmMain.
class FormWidget : public QWidget, public ui::FormView {
    Q_OBJECT

public:
    explicit FormWidget(QWidget* parent = nullptr);
    // Tests put recorders behind the clipboard, the store and the messages.
    FormWidget(std::unique_ptr<ui::ClipboardPort> clipboard, std::unique_ptr<ui::SettingsPort> settings,
               std::unique_ptr<ui::MessagePort> messages, QWidget* parent = nullptr);
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
    QWidget* control(ui::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }

    std::array<QWidget*, ui::kControlCount> controls_{};
    std::unique_ptr<ui::ClipboardPort> clipboard_;
    std::unique_ptr<ui::SettingsPort> settings_;
    std::unique_ptr<ui::MessagePort> messages_;
    std::unique_ptr<ui::frmMain> form_;
};

} // namespace portauth::qt
