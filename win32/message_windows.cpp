#include "message_windows.h"

#include <iterator>

#include "gdi.h"
#include "window_table.h"
#include "window_texts.h"

namespace portauth::win32 {
namespace {

constexpr int kLabelId = 1;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
// Not activated by a click, not in the task bar, above the main window.
constexpr DWORD kExStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;

constexpr int kTextWidthTwips = 4200;
constexpr int kMarginTwips = 90;
constexpr int kGapTwips = 90;

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
    ShowWindow(window, SW_SHOWNOACTIVATE);
}

// The window forgets itself as it is destroyed.
void MessageWindows::Close(ui::Failure cause)
{
    if (const auto shown = shown_.find(cause); shown != shown_.end())
        DestroyWindow(shown->second);
}

// To the right of the main window, or to its left when the screen ends
// there, so that the input boxes stay in sight.
void MessageWindows::Arrange()
{
    RECT main{};
    GetWindowRect(mainWindow_, &main);
    const RECT work = WorkAreaOf(mainWindow_);
    const int margin = toPixelsX(kMarginTwips);
    int top = main.top;
    for (const auto& [cause, window] : shown_) {
        const SIZE text = textSize(GetDlgItem(window, kLabelId));
        RECT frame{0, 0, text.cx + 2 * margin, text.cy + 2 * toPixelsY(kMarginTwips)};
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        int left = main.right + toPixelsX(kGapTwips);
        if (left + width > work.right)
            left = main.left - toPixelsX(kGapTwips) - width;
        SetWindowPos(GetDlgItem(window, kLabelId), nullptr, margin, toPixelsY(kMarginTwips), text.cx, text.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(window, HWND_TOPMOST, left, top, width, height, SWP_NOACTIVATE);
        top += height + toPixelsY(kGapTwips);
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
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return window;
}

SIZE MessageWindows::textSize(HWND label) const
{
    const std::u16string text = WindowText(label);
    RECT bounds{0, 0, toPixelsX(kTextWidthTwips), 0};
    ScreenDC screen;
    Selected font(screen.get(), font_);
    DrawTextW(screen.get(), Wide(text), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    return {toPixelsX(kTextWidthTwips), bounds.bottom};
}

int MessageWindows::toPixelsX(int twips) const
{
    return ui::TwipsToPixels(twips, static_cast<int>(dpi_.x));
}

int MessageWindows::toPixelsY(int twips) const
{
    return ui::TwipsToPixels(twips, static_cast<int>(dpi_.y));
}

void MessageWindows::forget(HWND window)
{
    for (auto shown = shown_.begin(); shown != shown_.end(); ++shown) {
        if (shown->second == window) {
            shown_.erase(shown);
            return;
        }
    }
}

LRESULT CALLBACK MessageWindows::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_LBUTTONUP:
        DestroyWindow(window);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == STN_CLICKED)
            DestroyWindow(window);
        return 0;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
        SetBkColor(dc, GetSysColor(COLOR_INFOBK));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK));
    }
    case WM_DESTROY:
        if (self)
            self->forget(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace portauth::win32
