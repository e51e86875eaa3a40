#include "main_window.h"

#include <commctrl.h>
#include <imm.h>
#include <windowsx.h>

#include <utility>

#include "accessible_box.h"
#include "resource.h"
#include "window_texts.h"

namespace portauth::win32 {
namespace {

using ui::ControlId;
using ui::ControlKind;
namespace flags = ui::flags;

// A fixed frame with a caption and a close box, and nothing to resize,
// minimise or maximise it with.
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = 0;

// Child window ids start clear of IDOK and IDCANCEL, which the dialog
// navigation sends for Enter and Escape.
constexpr int kFirstControlId = 100;

int ChildIdOf(ControlId id)
{
    return kFirstControlId + static_cast<int>(id);
}

const ui::Control* ControlOfChild(HWND child)
{
    const int index = GetDlgCtrlID(child) - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(ui::kControlCount))
        return nullptr;
    return &ui::ControlOf(static_cast<ControlId>(index));
}

std::int16_t ShiftState()
{
    return ui::ShiftStateOf(GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0);
}

std::int16_t KeyCodeOf(WPARAM virtualKey)
{
    return ui::KeyCodeOf(MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_CHAR));
}

std::pair<DWORD, DWORD> SelectedRange(HWND box)
{
    DWORD start = 0, end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

std::u16string SelectionOf(HWND box)
{
    const auto [start, end] = SelectedRange(box);
    return WindowText(box).substr(start, end - start);
}

bool HasSelection(HWND box)
{
    const auto [start, end] = SelectedRange(box);
    return start != end;
}

// WM_COPY or WM_CUT for each way an EDIT moves its selection to the
// clipboard, 0 for any other message: the two messages, which its menu, its
// Ctrl+C and other programs send; Ctrl+X, which it makes a WM_CUT only where
// it may cut, so that an output box would ignore it; and Ctrl+Insert and
// Shift+Delete, on which Wine's EDIT copies and cuts without a message.
// Shift+Delete with nothing selected deletes a character instead.
UINT TransferOf(HWND box, UINT message, WPARAM key)
{
    constexpr WPARAM kCtrlX = 0x18;
    switch (message) {
    case WM_COPY:
    case WM_CUT:
        return message;
    case WM_CHAR:
        return key == kCtrlX ? WM_CUT : 0;
    case WM_KEYDOWN:
        if (key == VK_INSERT && ShiftState() == ui::kCtrlMask)
            return WM_COPY;
        return key == VK_DELETE && ShiftState() == ui::kShiftMask && HasSelection(box) ? WM_CUT : 0;
    default:
        return 0;
    }
}

// What another program asks to read of a box. Windows answers none of it
// for a password box but to the box's own process; Wine answers it. The
// window has one thread, so a message sent from any other comes from outside.
bool IsReadFromOutside(UINT message)
{
    return (message == WM_GETTEXT || message == WM_GETTEXTLENGTH || message == EM_GETLINE)
        && InSendMessageEx(nullptr) != ISMEX_NOSEND;
}

POINT LogicalDpi()
{
    ScreenDC screen;
    return {GetDeviceCaps(screen.get(), LOGPIXELSX), GetDeviceCaps(screen.get(), LOGPIXELSY)};
}

int PointsToHeight(int points, int dpiY)
{
    return -MulDiv(points, dpiY, 72);
}

// A negative height asks for the character height without the leading.
Font WindowFont(int height)
{
    const ui::WindowFont& font = ui::kWindowFont;
    return Font(CreateFontW(height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                            static_cast<DWORD>(font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, WideString(font.face).c_str()));
}

std::u16string_view WithoutTrailingSpaces(std::u16string_view line)
{
    const auto end = line.find_last_not_of(u' ');
    return line.substr(0, end == std::u16string_view::npos ? 0 : end + 1);
}

// Whether the text, in the control's font, fits the given width and height.
bool Fits(HWND control, std::u16string_view text, LONG width, LONG height)
{
    HDC dc = GetDC(control);
    SIZE size{};
    {
        Selected font(dc, GetWindowFont(control));
        GetTextExtentPoint32W(dc, Wide(text), static_cast<int>(text.size()), &size);
    }
    ReleaseDC(control, dc);
    return size.cx <= width && size.cy <= height;
}

// Each line of a multi-line box within its formatting rectangle; a space
// at the end of a line may hang past it.
bool LinesFit(HWND box, std::u16string_view text)
{
    RECT format{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(u"\r\n", start), text.size());
        if (!Fits(box, WithoutTrailingSpaces(text.substr(start, end - start)), format.right - format.left,
                  format.bottom - format.top))
            return false;
        start = end + 2;
    }
    return true;
}

bool RegisterMainClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, MainWindow::kClassName, &windowClass))
        return true;
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PORTAUTH));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PORTAUTH), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    windowClass.lpszClassName = MainWindow::kClassName;
    return RegisterClassExW(&windowClass) != 0;
}

} // namespace

MainWindow::MainWindow(HINSTANCE instance, ui::SettingsPort& settings) : instance_(instance), settings_(settings) {}

MainWindow::~MainWindow()
{
    if (window_)
        DestroyWindow(window_);
}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance, int showCommand, ui::SettingsPort& settings)
{
    const INITCOMMONCONTROLSEX commonControls{sizeof commonControls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&commonControls);
    if (!RegisterMainClass(instance, &MainWindow::WindowProc))
        return nullptr;

    std::unique_ptr<MainWindow> self(new MainWindow(instance, settings));
    self->dpi_ = LogicalDpi();
    self->font_ = WindowFont(PointsToHeight(ui::kWindowFont.points, static_cast<int>(self->dpi_.y)));
    RECT frame{0, 0, ui::TwipsToPixels(ui::kClientWidthTwips, static_cast<int>(self->dpi_.x)),
               ui::TwipsToPixels(ui::kClientHeightTwips, static_cast<int>(self->dpi_.y))};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    CreateWindowExW(kExStyle, kClassName, WideString(ui::texts::caption).c_str(), kStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                    self.get());
    if (!self->window_)
        return nullptr;

    // Load fills the remembered inputs before the window is first seen.
    self->form_->Form_Load();
    self->lastFocus_ = self->control(ui::FocusOrder().front());
    ShowWindow(self->window_, showCommand);
    UpdateWindow(self->window_);
    // A message of the load waited for the window, to stand beside it.
    self->messages_->Arrange();
    SetFocus(self->lastFocus_);
    return self;
}

void MainWindow::Dispatch(MSG& message)
{
    if (!IsDialogMessageW(window_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::u16string MainWindow::Text(ControlId box) const
{
    return WindowText(control(box));
}

// An EDIT sends EN_CHANGE from inside SetWindowText, so the box's Change
// handler has run when this returns.
void MainWindow::SetText(ControlId box, std::u16string_view text)
{
    SetWindowTextW(control(box), WideString(text).c_str());
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
    }
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = window_;
    switch (message) {
        HANDLE_MSG(hwnd, WM_CREATE, OnCreate);
        HANDLE_MSG(hwnd, WM_COMMAND, OnCommand);
        HANDLE_MSG(hwnd, WM_CTLCOLORSTATIC, OnCtlColor);
        HANDLE_MSG(hwnd, WM_CTLCOLOREDIT, OnCtlColor);
        HANDLE_MSG(hwnd, WM_PAINT, OnPaint);
        HANDLE_MSG(hwnd, WM_ACTIVATE, OnActivate);
        HANDLE_MSG(hwnd, WM_SETFOCUS, OnSetFocus);
        HANDLE_MSG(hwnd, WM_MOVE, OnMove);
        HANDLE_MSG(hwnd, WM_DESTROY, OnDestroy);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

BOOL MainWindow::OnCreate(HWND window, LPCREATESTRUCTW)
{
    createControls();
    fitFont();
    setFocusOrder();
    clipboard_.emplace(window);
    messages_.emplace(instance_, window, font_.get(), dpi_);
    form_.emplace(*this, *clipboard_, settings_, *messages_);
    return TRUE;
}

void MainWindow::OnCommand(HWND, int id, HWND control, UINT notification)
{
    const ui::Control* source = ControlOfChild(control);
    if (notification == EN_CHANGE && form_ && source && id == ChildIdOf(source->id))
        form_->Change(source->id);
}

// The output boxes stand out on the scroll-bar colour; the read-only
// instructions keep the window colour that a read-only EDIT would give up.
HBRUSH MainWindow::OnCtlColor(HWND window, HDC dc, HWND control, int)
{
    const ui::Control* source = ControlOfChild(control);
    if (!source || !source->isTextBox())
        return FORWARD_WM_CTLCOLORSTATIC(window, dc, control, DefWindowProcW);
    const int colour = source->has(flags::GreyBackground) ? COLOR_SCROLLBAR : COLOR_WINDOW;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(colour));
    return GetSysColorBrush(colour);
}

// Line1 runs past both edges of the client area, so only its height and
// colour show: one pixel of the window-text colour across the window.
void MainWindow::OnPaint(HWND window)
{
    PaintDC paint(window);
    const ui::TwipsRect& line = ui::ControlOf(ControlId::Line1).twips;
    const int x = static_cast<int>(dpi_.x);
    const int y = ui::TwipsToPixels(line.top, static_cast<int>(dpi_.y));
    const RECT pixels{ui::TwipsToPixels(line.left, x), y, ui::TwipsToPixels(line.left + line.width, x), y + 1};
    FillRect(paint.get(), &pixels, GetSysColorBrush(COLOR_WINDOWTEXT));
}

// As a dialog does: the box that had the focus gets it back when the
// window is activated again.
void MainWindow::OnActivate(HWND window, UINT state, HWND other, BOOL minimized)
{
    HWND focus = GetFocus();
    if (state == WA_INACTIVE && focus && IsChild(window, focus))
        lastFocus_ = focus;
    FORWARD_WM_ACTIVATE(window, state, other, minimized, DefWindowProcW);
}

void MainWindow::OnSetFocus(HWND, HWND)
{
    if (lastFocus_)
        SetFocus(lastFocus_);
}

void MainWindow::OnMove(HWND, int, int)
{
    if (messages_)
        messages_->Arrange();
}

void MainWindow::OnDestroy(HWND)
{
    form_.reset();
    PostQuitMessage(0);
}

void MainWindow::createControls()
{
    for (const ui::Control& control : ui::Controls())
        controls_[static_cast<std::size_t>(control.id)] = createControl(control);
}

HWND MainWindow::createControl(const ui::Control& control)
{
    if (control.kind == ControlKind::Line)
        return nullptr;
    const bool isEdit = control.isTextBox();
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (isEdit) {
        style |= WS_TABSTOP;
        // The instructions break their own lines, and fitFont makes each
        // fit, so the box need not wrap: wrapping would only move a line's
        // trailing space onto a line of its own, as Wine's EDIT does.
        style |= ES_AUTOHSCROLL;
        if (control.kind == ControlKind::MultiLineTextBox)
            style |= ES_MULTILINE;
        if (control.has(flags::Locked))
            style |= ES_READONLY;
        if (control.has(flags::PasswordStar))
            style |= ES_PASSWORD;
    } else {
        style |= SS_LEFT | SS_NOPREFIX;
    }
    const RECT pixels = toPixels(control.twips);
    HWND child = CreateWindowExW(isEdit ? WS_EX_CLIENTEDGE : 0, isEdit ? L"EDIT" : L"STATIC",
                                 WideString(control.text).c_str(), style, pixels.left, pixels.top,
                                 pixels.right - pixels.left, pixels.bottom - pixels.top, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ChildIdOf(control.id))), instance_,
                                 nullptr);
    if (!child)
        return nullptr;
    SetWindowFont(child, font_.get(), FALSE);
    if (isEdit)
        Edit_LimitText(child, 0);
    if (control.has(flags::PasswordStar))
        Edit_SetPasswordChar(child, L'*');
    if (control.has(flags::InputMethodOff))
        ImmAssociateContext(child, nullptr);
    if (control.kind == ControlKind::MultiLineTextBox)
        SetWindowSubclass(child, &MainWindow::InstructionsProc, 0, reinterpret_cast<DWORD_PTR>(this));
    else if (isEdit)
        SetWindowSubclass(child, &MainWindow::BoxProc, static_cast<UINT_PTR>(control.id),
                          reinterpret_cast<DWORD_PTR>(this));
    return child;
}

// A face's cells need not grow with the dpi as the twips do: hinting and
// bitmap sizes round them up. Where a label or a line of the instructions
// would be cut, the font goes down a pixel at a time until all fit.
// Only here: Qt lays the text out unhinted at fractional widths, which grow
// with the twips.
void MainWindow::fitFont()
{
    constexpr int kSmallestHeight = -8;
    for (int height = PointsToHeight(ui::kWindowFont.points, static_cast<int>(dpi_.y));
         !textsFit() && height < kSmallestHeight;) {
        Font smaller = WindowFont(++height);
        for (HWND child : controls_)
            if (child)
                SetWindowFont(child, smaller.get(), FALSE);
        font_ = std::move(smaller);
    }
}

bool MainWindow::textsFit() const
{
    for (const ui::Control& control : ui::Controls()) {
        HWND child = this->control(control.id);
        if (control.kind == ControlKind::MultiLineTextBox && !LinesFit(child, control.text))
            return false;
        RECT client{};
        GetClientRect(child, &client);
        if (control.kind == ControlKind::Label && !Fits(child, control.text, client.right, client.bottom))
            return false;
    }
    return true;
}

// The dialog navigation visits WS_TABSTOP children in z-order, so the
// boxes are stacked in the focus order. A screen reader names an EDIT after
// the label just before it, so each box's caption goes right before it.
void MainWindow::setFocusOrder()
{
    HWND previous = HWND_TOP;
    const auto stack = [&previous](HWND child) {
        SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = child;
    };
    for (ControlId id : ui::FocusOrder()) {
        for (const auto& [box, caption] : ui::CaptionedBoxes())
            if (box == id)
                stack(control(caption));
        stack(control(id));
    }
}

RECT MainWindow::toPixels(const ui::TwipsRect& twips) const
{
    const int x = static_cast<int>(dpi_.x);
    const int y = static_cast<int>(dpi_.y);
    const int left = ui::TwipsToPixels(twips.left, x);
    const int top = ui::TwipsToPixels(twips.top, y);
    return {left, top, left + ui::TwipsToPixels(twips.width, x), top + ui::TwipsToPixels(twips.height, y)};
}

// A multi-line EDIT asks the dialog navigation for every key, Tab included;
// without Tab it lets the focus move on, as the other boxes do.
LRESULT CALLBACK MainWindow::InstructionsProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                              DWORD_PTR)
{
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(box, &MainWindow::InstructionsProc, id);
    if (message == WM_GETOBJECT)
        if (const LRESULT answer = AccessibleBox(box, ControlId::Text1, wParam, lParam))
            return answer;
    const LRESULT result = DefSubclassProc(box, message, wParam, lParam);
    if (message == WM_GETDLGCODE)
        return result & ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    return result;
}

LRESULT CALLBACK MainWindow::BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self)
{
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(box, &MainWindow::BoxProc, id);
    return reinterpret_cast<MainWindow*>(self)->OnBoxMessage(box, static_cast<ControlId>(id), message, wParam,
                                                            lParam);
}

// Key-downs of the output boxes go to frmMain first; a key it takes takes
// the character it makes with it, so that the EDIT's copy on Ctrl+C cannot
// follow.
LRESULT MainWindow::OnBoxMessage(HWND box, ControlId id, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        keyTaken_ = form_ && ui::IsOutputBox(id) && form_->KeyDown(id, KeyCodeOf(wParam), ShiftState());
        if (keyTaken_)
            return 0;
    } else if (message == WM_CHAR && std::exchange(keyTaken_, false)) {
        return 0;
    }
    if (const UINT transfer = TransferOf(box, message, wParam))
        return OnTransfer(box, id, transfer);
    if (IsReadFromOutside(message) && ui::ControlOf(id).has(flags::PasswordStar))
        return 0;
    if (message == WM_GETOBJECT)
        if (const LRESULT answer = AccessibleBox(box, id, wParam, lParam))
            return answer;
    return DefSubclassProc(box, message, wParam, lParam);
}

// Every copy or cut of a selection asks frmMain first, which keeps the typed
// password in its box and marks the derived one. A cut of a box the user
// cannot change copies and leaves the box as it was.
LRESULT MainWindow::OnTransfer(HWND box, ControlId id, UINT transfer)
{
    if (form_ && form_->CopySelection(id, SelectionOf(box)))
        return 0;
    return DefSubclassProc(box, ui::IsOutputBox(id) ? WM_COPY : transfer, 0, 0);
}

} // namespace portauth::win32
