#pragma once

#include <array>
#include <memory>
#include <optional>

#include "clipboard.h"
#include "frmmain.h"
#include "gdi.h"
#include "message_windows.h"
#include "win32_api.h"
#include "window_table.h"

namespace portauth::win32 {

// The program's one window, drawn from the shared table; its events go to
// the shared frmMain, which reads and writes the boxes through FormView.
class MainWindow final : public ui::FormView {
public:
    static constexpr const wchar_t* kClassName = L"PortAuthMain";

    // Creates the window and its controls, runs Form_Load, then shows it
    // with the focus in the first box of the focus order.
    // The settings outlive the window.
    static std::unique_ptr<MainWindow> Create(HINSTANCE instance, int showCommand, ui::SettingsPort& settings);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND handle() const noexcept { return window_; }
    HWND control(ui::ControlId id) const noexcept { return controls_[static_cast<std::size_t>(id)]; }

    // Delivers one queued message; Tab and Shift+Tab move the focus as in a
    // dialog.
    void Dispatch(MSG& message);

    std::u16string Text(ui::ControlId box) const override;
    void SetText(ui::ControlId box, std::u16string_view text) override;

private:
    MainWindow(HINSTANCE instance, ui::SettingsPort& settings);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK InstructionsProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR self);
    static LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnCreate(HWND window, LPCREATESTRUCTW create);
    void OnCommand(HWND window, int id, HWND control, UINT notification);
    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int type);
    void OnPaint(HWND window);
    void OnActivate(HWND window, UINT state, HWND other, BOOL minimized);
    void OnSetFocus(HWND window, HWND previous);
    void OnMove(HWND window, int x, int y);
    void OnDestroy(HWND window);
    LRESULT OnBoxMessage(HWND box, ui::ControlId id, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnTransfer(HWND box, ui::ControlId id, UINT transfer);

    void createControls();
    void fitFont();
    bool textsFit() const;
    HWND createControl(const ui::Control& control);
    void setFocusOrder();
    RECT toPixels(const ui::TwipsRect& twips) const;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    POINT dpi_{96, 96};
    Font font_;
    std::array<HWND, ui::kControlCount> controls_{};
    HWND lastFocus_ = nullptr;
    bool keyTaken_ = false;
    std::optional<Clipboard> clipboard_;
    std::optional<MessageWindows> messages_;
    ui::SettingsPort& settings_;
    std::optional<ui::frmMain> form_;
};

} // namespace portauth::win32
