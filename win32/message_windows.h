#pragma once

#include <map>

#include "frmmain.h"
#include "win32_api.h"

namespace portauth::win32 {

// Small windows beside the main window that tell of a failure, placed and
// dismissed as ui::PlaceMessages says. They never take the activation or
// the focus, so typing goes on in the main window; one per cause at most.
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

    // Puts the messages beside the main window and shows them, once it shows.
    void Arrange();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    int OnMouseActivate(HWND window, HWND topLevel, UINT hitTest, UINT message);
    void OnLButtonUp(HWND window, int x, int y, UINT keys);
    void OnCommand(HWND window, int id, HWND control, UINT notification);
    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int type);
    void OnDestroy(HWND window);

    HWND create();
    SIZE textSize(HWND label) const;
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;

    HINSTANCE instance_;
    HWND mainWindow_;
    HFONT font_;
    POINT dpi_;
    std::map<ui::Failure, HWND> shown_;
};

} // namespace portauth::win32
