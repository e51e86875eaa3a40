#pragma once

#include <map>

#include "frmmain.h"
#include "win32_api.h"

namespace portauth::win32 {

// Small windows beside the main window that tell of a failure. They never
// take the activation or the focus, so typing goes on in the main window;
// there is at most one per cause, and a click or the close box dismisses it.
class MessageWindows final : public ui::MessagePort {
public:
    static constexpr const wchar_t* kClassName = L"PortAuthMessage";

    // Sizes follow the display's logical dpi, as the main window's do.
    MessageWindows(HINSTANCE instance, HWND mainWindow, HFONT font, POINT logicalDpi);
    ~MessageWindows() override;
    MessageWindows(const MessageWindows&) = delete;
    MessageWindows& operator=(const MessageWindows&) = delete;

    void Show(ui::Failure cause, std::u16string_view text) override;
    void Close(ui::Failure cause) override;

    // Puts the messages beside the main window, one below the other.
    void Arrange();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND create();
    SIZE textSize(HWND label) const;
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    void forget(HWND window);

    HINSTANCE instance_;
    HWND mainWindow_;
    HFONT font_;
    POINT dpi_;
    std::map<ui::Failure, HWND> shown_;
};

} // namespace portauth::win32
