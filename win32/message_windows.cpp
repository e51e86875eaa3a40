#include "message_windows.h"

#include <vector>
#include <windowsx.h>

#include "gdi.h"
#include "window_rules.h"
#include "window_table.h"
#include "window_texts.h"

namespace portauth::win32 {
namespace {

constexpr int kLabelId = 1;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
// Not activated by a click and not in the task bar. Owned by the main
// window, so above it, and not above other programs.
constexpr DWORD kExStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;

void RegisterMessageClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, MessageWindows::kClassName, &windowClass))
        return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_INFOBK);
    windowClass.lpszClassName = MessageWindows::kClassName;
    RegisterClassExW(&windowClass);
}

ui::PixelRect PixelsOf(const RECT& rect)
{
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

RECT WorkAreaOf(HWND window)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

} // namespace

MessageWindows::MessageWindows(HINSTANCE instance, HWND mainWindow, HFONT font, POINT logicalDpi)
    : instance_(instance), mainWindow_(mainWindow), font_(font), dpi_(logicalDpi)
{
    RegisterMessageClass(instance_, &MessageWindows::WindowProc);
}

MessageWindows::~MessageWindows()
{
    const auto shown = shown_;
    for (const auto& [cause, window] : shown)
        DestroyWindow(window);
}

void MessageWindows::Show(ui::Failure cause, std::u16string_view text)
{
    HWND& window = shown_[cause];
    if (!window)
        window = create();
    if (!window) {
        shown_.erase(cause);
        return;
    }
    SetDlgItemTextW(window, kLabelId, WideString(text).c_str());
    Arrange();
}

// The window forgets itself as it is destroyed.
void MessageWindows::Close(ui::Failure cause)
{
    if (const auto shown = shown_.find(cause); shown != shown_.end())
        DestroyWindow(shown->second);
}

void MessageWindows::Arrange()
{
    if (!IsWindowVisible(mainWindow_))
        return;
    const int margin = toPixelsX(ui::kMessageMarginTwips);
    std::vector<ui::PixelRect> sizes;
    for (const auto& [cause, window] : shown_) {
        const SIZE text = textSize(GetDlgItem(window, kLabelId));
        RECT frame{0, 0, text.cx + 2 * margin, text.cy + 2 * toPixelsY(ui::kMessageMarginTwips)};
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        sizes.push_back(PixelsOf(frame));
        SetWindowPos(GetDlgItem(window, kLabelId), nullptr, margin, toPixelsY(ui::kMessageMarginTwips), text.cx,
                     text.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT main{};
    GetWindowRect(mainWindow_, &main);
    const auto placed = ui::PlaceMessages(PixelsOf(main), PixelsOf(WorkAreaOf(mainWindow_)), sizes,
                                          static_cast<int>(dpi_.x));
    auto place = placed.begin();
    for (const auto& [cause, window] : shown_) {
        SetWindowPos(window, nullptr, place->left, place->top, place->width, place->height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ++place;
    }
}

HWND MessageWindows::create()
{
    HWND window = CreateWindowExW(kExStyle, kClassName, WideString(ui::texts::caption).c_str(), kStyle, 0, 0, 0, 0,
                                  mainWindow_, nullptr, instance_, this);
    if (!window)
        return nullptr;
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, 0,
                                 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), instance_,
                                 nullptr);
    SetWindowFont(label, font_, FALSE);
    return window;
}

SIZE MessageWindows::textSize(HWND label) const
{
    const std::u16string text = WindowText(label);
    const int width = toPixelsX(ui::kMessageTextWidthTwips);
    RECT bounds{0, 0, width, 0};
    ScreenDC screen;
    Selected font(screen.get(), font_);
    DrawTextW(screen.get(), Wide(text), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    return {width, bounds.bottom};
}

int MessageWindows::toPixelsX(int twips) const
{
    return ui::TwipsToPixels(twips, static_cast<int>(dpi_.x));
}

int MessageWindows::toPixelsY(int twips) const
{
    return ui::TwipsToPixels(twips, static_cast<int>(dpi_.y));
}

LRESULT CALLBACK MessageWindows::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT MessageWindows::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        HANDLE_MSG(hwnd, WM_MOUSEACTIVATE, OnMouseActivate);
        HANDLE_MSG(hwnd, WM_LBUTTONUP, OnLButtonUp);
        HANDLE_MSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_MSG(hwnd, WM_CTLCOLORSTATIC, OnCtlColor);
        HANDLE_MSG(hwnd, WM_DESTROY, OnDestroy);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int MessageWindows::OnMouseActivate(HWND, HWND, UINT, UINT)
{
    return MA_NOACTIVATE;
}

void MessageWindows::OnLButtonUp(HWND window, int, int, UINT)
{
    DestroyWindow(window);
}

// A click on the text dismisses the message as one beside it does.
void MessageWindows::OnCommand(HWND window, int, HWND, UINT notification)
{
    if (notification == STN_CLICKED)
        DestroyWindow(window);
}

HBRUSH MessageWindows::OnCtlColor(HWND, HDC dc, HWND, int)
{
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    SetBkColor(dc, GetSysColor(COLOR_INFOBK));
    return GetSysColorBrush(COLOR_INFOBK);
}

// However it goes, the others close up the gap it leaves.
void MessageWindows::OnDestroy(HWND window)
{
    std::erase_if(shown_, [window](const auto& shown) { return shown.second == window; });
    Arrange();
}

} // namespace portauth::win32
