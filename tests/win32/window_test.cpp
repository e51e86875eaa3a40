// What only the Windows window can get wrong: how each control is drawn and
// where, at the dpi the test prefix was given, and how keys, clipboard and
// messages reach the shared decisions. Run by window_test.sh under Wine.
#include "main_window.h"

#include <imm.h>
#include <oleacc.h>
#include <windowsx.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "window_rules.h"
#include "window_table.h"

namespace portauth::win32 {
namespace {

using ui::ControlId;
using ui::ControlKind;
namespace flags = ui::flags;

// Set by window_test.sh: the dpi it gave the prefix.
const int g_dpi = _wtoi(_wgetenv(L"LOGICAL_DPI"));

bool Overlap(const RECT& a, const RECT& b)
{
    RECT common{};
    return IntersectRect(&common, &a, &b) != FALSE;
}

// The text copied, then the formats that keep it from clipboard monitors,
// the history and the cloud: each as text up to its first zero, or "-"
// when it is absent, so that a DWORD 0 reads as the empty text.
std::wstring Copied()
{
    OpenClipboard(nullptr);
    std::wstring values;
    for (UINT format : {UINT(CF_UNICODETEXT), RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"),
                        RegisterClipboardFormatW(L"CanIncludeInClipboardHistory"),
                        RegisterClipboardFormatW(L"CanUploadToCloudClipboard")}) {
        HANDLE data = GetClipboardData(format);
        const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
        values += L";" + (chars ? std::wstring(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t))) : L"-");
        GlobalUnlock(data);
    }
    CloseClipboard();
    return values.substr(1);
}
const std::wstring kSecret = L";;;", kNotSecret = L";-;-;-";

class NoSettings final : public ui::SettingsPort {
    std::u16string Get(std::u16string_view) override { return {}; }
    void Save(std::u16string_view, std::u16string_view) override {}
};

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = MainWindow::Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL, settings_);
        ASSERT_NE(window_, nullptr);
        SetForegroundWindow(main());
        pump();
    }

    HWND box(ControlId id) const { return window_->control(id); }
    HWND main() const { return window_->handle(); }

    // In client coordinates; empty for the line, which has no window.
    RECT rectOf(ControlId id) const
    {
        RECT rect{};
        if (GetWindowRect(box(id), &rect))
            MapWindowRect(nullptr, main(), &rect);
        return rect;
    }

    // Handles what is queued, the way the program's message loop does.
    void pump()
    {
        for (int round = 0; round < 4; ++round, Sleep(5))
            for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
                window_->Dispatch(message);
    }

    // Holds the keys down in order, in the given box, and lets them go in
    // reverse.
    void press(std::vector<BYTE> keys, HWND in = nullptr)
    {
        SetFocus(in ? in : GetFocus());
        queue(keys);
        pump();
    }
    static void queue(const std::vector<BYTE>& keys)
    {
        for (BYTE key : keys)
            keybd_event(key, 0, 0, 0);
        for (auto key = keys.rbegin(); key != keys.rend(); ++key)
            keybd_event(*key, 0, KEYEVENTF_KEYUP, 0);
    }
    // With the left button, from a box's middle to another's.
    void drag(HWND from, HWND to)
    {
        for (HWND window : {from, to}) {
            RECT rect{};
            GetWindowRect(window, &rect);
            const DWORD x = static_cast<DWORD>((rect.left + rect.right) / 2 * 65536 / GetSystemMetrics(SM_CXSCREEN));
            const DWORD y = static_cast<DWORD>((rect.top + rect.bottom) / 2 * 65536 / GetSystemMetrics(SM_CYSCREEN));
            const DWORD button = window == from ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
            mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | button, x, y, 0, 0);
            pump();
        }
    }

    NoSettings settings_;
    std::unique_ptr<MainWindow> window_;
};

// A fixed client area of 5475 x 5940 twips at the dpi asked for, with a
// caption, the program's icon and a close box, and nothing to resize,
// minimise or maximise.
TEST_F(Window, FixedFrameScaledToTheDpiHoldsEveryControlWithoutOverlap)
{
    EXPECT_NE(GetClassLongPtrW(main(), GCLP_HICON), 0);
    EXPECT_EQ(GetWindowLongW(main(), GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_CAPTION | WS_SYSMENU);
    RECT client{};
    GetClientRect(main(), &client);
    EXPECT_NEAR(client.right, 5475.0 * g_dpi / 1440, 0.5);
    EXPECT_NEAR(client.bottom, 5940.0 * g_dpi / 1440, 0.5);
    for (const ui::Control& a : ui::Controls()) {
        const RECT placed = rectOf(a.id);
        EXPECT_TRUE(placed.left >= 0 && placed.top >= 0 && placed.right <= client.right
                    && placed.bottom <= client.bottom)
            << a.name << " inside";
        for (const ui::Control& b : ui::Controls())
            EXPECT_TRUE(&a == &b || !Overlap(placed, rectOf(b.id))) << a.name << " overlaps " << b.name;
    }
}

// Labels are measured in their font; the instructions where the EDIT itself
// put the end of each line's last visible character.
TEST_F(Window, EachControlIsTheWindowsControlOfItsKindInNinePointSongTiWithNoTextCut)
{
    for (const ui::Control& control : ui::Controls()) {
        SCOPED_TRACE(control.name);
        HWND child = box(control.id);
        ASSERT_EQ(child == nullptr, control.kind == ControlKind::Line);
        if (!child)
            continue;
        const auto style = GetWindowLongPtrW(child, GWL_STYLE);
        const bool edit = control.isTextBox();
        wchar_t name[16]{};
        GetClassNameW(child, name, 16);
        EXPECT_STREQ(name, edit ? L"Edit" : L"Static");
        EXPECT_EQ(style & (WS_TABSTOP | WS_HSCROLL | WS_VSCROLL), edit ? WS_TABSTOP : 0);
        EXPECT_EQ((style & ES_READONLY) != 0, control.has(flags::Locked));
        EXPECT_EQ((style & ES_MULTILINE) != 0, control.kind == ControlKind::MultiLineTextBox);
        EXPECT_EQ(Edit_GetPasswordChar(child), control.has(flags::PasswordStar) ? L'*' : 0);
        HIMC context = ImmGetContext(child);
        EXPECT_EQ(context == nullptr, control.has(flags::InputMethodOff));
        ImmReleaseContext(child, context);
        LOGFONTW font{};
        GetObjectW(GetWindowFont(child), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
        // 9 points, or a pixel or two less where the face's cells outgrow
        // the twips at this dpi.
        const int ninePoints = -MulDiv(9, g_dpi, 72);
        EXPECT_TRUE(font.lfHeight >= ninePoints && font.lfHeight <= (g_dpi == 96 ? ninePoints : ninePoints * 7 / 8))
            << font.lfHeight;

        const std::wstring text = WideString(WindowText(child));
        RECT inside{};
        if (control.kind == ControlKind::Label) {
            GetClientRect(child, &inside);
            ScreenDC screen;
            Selected selected(screen.get(), GetWindowFont(child));
            SIZE size{};
            GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &size);
            EXPECT_TRUE(size.cx > 0 && size.cx <= inside.right && size.cy <= inside.bottom) << "label cut";
        } else if (control.kind == ControlKind::MultiLineTextBox) {
            Edit_GetRect(child, &inside);
            ASSERT_EQ(Edit_GetLineCount(child), 12);
            EXPECT_EQ(Edit_GetFirstVisibleLine(child), 0);
            for (std::size_t end = text.find(L"\r\n"); end != std::wstring::npos; end = text.find(L"\r\n", end + 2)) {
                const std::size_t afterLast = text.find_last_not_of(L' ', end - 1) + 1;
                EXPECT_LE(GET_X_LPARAM(SendMessageW(child, EM_POSFROMCHAR, afterLast, 0)), inside.right) << "at " << end;
            }
            EXPECT_LE(GET_Y_LPARAM(SendMessageW(child, EM_POSFROMCHAR, text.size(), 0)), inside.bottom);
        }
    }
}

// The rule is found, not placed: the one row at the window's left edge
// that is not the face colour, drawn across the window between the groups.
TEST_F(Window, DrawsOneRuleAcrossTheWindowAndTheOutputBoxesOnTheScrollBarColour)
{
    RedrawWindow(main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    GetClientRect(main(), &client);
    HDC dc = GetDC(main());
    std::vector<LONG> ruled;
    for (LONG y = 0; y < client.bottom; ++y)
        if (GetPixel(dc, 0, y) != GetSysColor(COLOR_3DFACE))
            ruled.push_back(y);
    ASSERT_EQ(ruled.size(), 1u);
    EXPECT_GT(ruled[0], rectOf(ControlId::txtPassword).bottom);
    EXPECT_LT(ruled[0], rectOf(ControlId::Label9).top);
    for (LONG x : {0L, client.right / 2, client.right - 1})
        EXPECT_EQ(GetPixel(dc, x, ruled[0]), GetSysColor(COLOR_WINDOWTEXT)) << "x " << x;

    ASSERT_NE(GetSysColor(COLOR_SCROLLBAR), GetSysColor(COLOR_WINDOW)) << "the test prefix sets them apart";
    for (ControlId id : ui::FocusOrder()) {
        const RECT placed = rectOf(id);
        const bool grey = ui::ControlOf(id).has(flags::GreyBackground);
        EXPECT_EQ(GetPixel(dc, placed.right - 5, placed.bottom - 5), GetSysColor(grey ? COLOR_SCROLLBAR : COLOR_WINDOW))
            << ui::ControlOf(id).name;
    }
    // The boxes write in the window-text colour, not the DC's black.
    const RECT text = rectOf(ControlId::Text1);
    int inked = 0;
    for (LONG at = 0, width = text.right - text.left; at < 16 * width; ++at)
        inked += GetPixel(dc, text.left + at % width, text.top + at / width) == GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GT(inked, 0);
    ReleaseDC(main(), dc);
}

TEST_F(Window, FocusStartsInTheFirstBoxAndTabWalksTheBoxesBothWaysPastEnterAndEscape)
{
    for (ControlId id : ui::FocusOrder()) {
        EXPECT_EQ(GetFocus(), box(id)) << ui::ControlOf(id).name;
        press({VK_TAB});
    }
    EXPECT_EQ(GetFocus(), box(ui::FocusOrder().front())) << "Tab goes round";
    // The dialog navigation makes these commands with no control.
    press({VK_RETURN});
    press({VK_ESCAPE});
    press({VK_SHIFT, VK_TAB});
    EXPECT_EQ(GetFocus(), box(ui::FocusOrder().back())) << "and Shift+Tab back";
}

// Every way a selection leaves its box: keys, the box's menu (opened with
// the menu key, an item chosen by its letter), a message as another program
// sends it, and a drag to the IP box. Nothing takes the typed password; a
// copy of the derived one is marked secret; a cut in an output box copies
// the selection, and the menu offers no Cut there; a drag, like Ctrl+A,
// takes nothing. No box changes.
TEST_F(Window, EveryCopyOrCutOfThePasswordIsSecretNoneTakesTheTypedOneAndNoBoxChanges)
{
    SetWindowTextW(box(ControlId::txtUsername), L"bob");
    SetWindowTextW(box(ControlId::txtPassword), L"abc");
    const auto texts = [this] {
        std::wstring all;
        for (const auto& [id, caption] : ui::CaptionedBoxes())
            all += WideString(WindowText(box(id))) + L"|";
        return all;
    };
    const std::wstring before = texts();
    struct Way {
        std::vector<BYTE> keys;
        UINT message;
        bool copiesFromOutput;
    };
    const std::vector<Way> ways{{{VK_CONTROL, 'C'}, 0, true}, {{VK_CONTROL, VK_INSERT}, 0, true},
                                {{VK_APPS, 'C'}, 0, true},      {{VK_SHIFT, VK_DELETE}, 0, true},
                                {{VK_CONTROL, 'X'}, 0, true},   {{VK_APPS, 'T'}, 0, false},
                                {{}, WM_COPY, true},            {{}, WM_CUT, true},
                                {{VK_LBUTTON}, 0, false},       {{VK_CONTROL, 'A'}, 0, false}};
    for (const Way& way : ways) {
        for (ControlId id : {ControlId::txtPassword, ControlId::txtNUserName, ControlId::txtNPassword}) {
            class Clipboard board(main());
            board.Clear();
            board.SetText(u"before", ui::ClipboardPort::Sensitivity::Plain);
            SetFocus(box(id));
            Edit_SetSel(box(id), 0, -1);
            if (way.message)
                SendMessageW(box(id), way.message, 0, 0);
            else if (way.keys.front() == VK_LBUTTON)
                drag(box(id), box(ControlId::txtIP));
            else if (way.keys.front() == VK_APPS) {
                queue({VK_APPS});
                queue({way.keys.back()});
                queue({VK_ESCAPE}); // closes the menu when the item is not offered
            } else
                queue(way.keys);
            pump();
            const std::wstring text = WideString(WindowText(box(id)));
            const bool copies = way.copiesFromOutput && id != ControlId::txtPassword;
            const std::wstring mark = id == ControlId::txtNPassword ? kSecret : kNotSecret;
            EXPECT_EQ(Copied(), copies ? text + mark : L"before" + kNotSecret)
                << ui::ControlOf(id).name << " way " << int(way.keys.empty() ? way.message : way.keys.back());
            EXPECT_EQ(texts(), before);
        }
    }
}

// Another program reads the other boxes, but nothing of the typed password:
// a message from another thread comes as one from another process.
TEST_F(Window, AnotherProgramReadsNothingOfTheTypedPassword)
{
    SetWindowTextW(box(ControlId::txtIP), L"abc");
    SetWindowTextW(box(ControlId::txtPassword), L"abc");
    std::wstring read;
    std::atomic<bool> done = false;
    std::thread other([&] {
        for (ControlId id : {ControlId::txtIP, ControlId::txtPassword}) {
            wchar_t text[8] = L"";
            const LRESULT length = SendMessageW(box(id), WM_GETTEXTLENGTH, 0, 0);
            SendMessageW(box(id), WM_GETTEXT, 8, reinterpret_cast<LPARAM>(text));
            read += std::to_wstring(length) + text + L"|";
        }
        done = true;
    });
    while (!done)
        pump();
    other.join();
    EXPECT_EQ(read, L"3abc|0|");
}

// Each box is told apart by its name, and says the name and description of
// window_rules.h from the program's own accessible object; the typed
// password is no one's to read.
TEST_F(Window, TheSevenBoxesHaveSevenDifferentNames)
{
    SetWindowTextW(box(ControlId::txtPassword), L"abc");
    std::set<std::wstring> told;
    for (ControlId id : ui::FocusOrder()) {
        IAccessible* accessible = nullptr;
        ASSERT_EQ(AccessibleObjectFromWindow(box(id), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&accessible)), S_OK);
        VARIANT self{};
        self.vt = VT_I4;
        BSTR name = nullptr, description = nullptr, value = nullptr;
        accessible->get_accName(self, &name);
        accessible->get_accDescription(self, &description);
        accessible->get_accValue(self, &value);
        const std::wstring said = std::wstring(name ? name : L"") + L"|" + (description ? description : L"");
        EXPECT_EQ(said, WideString(ui::AccessibleName(id) + u"|" + ui::AccessibleDescription(id)));
        EXPECT_NE(std::wstring(value ? value : L""), L"abc");
        told.insert(name ? name : L"");
        for (BSTR text : {name, description, value})
            SysFreeString(text);
        accessible->Release();
    }
    EXPECT_EQ(told.size(), ui::kFocusStops);
}

TEST_F(Window, AHeldClipboardIsToldBesideTheWindowWithoutTakingTheFocus)
{
    // Open for no window, the clipboard is another owner's to the program.
    OpenClipboard(nullptr);
    press({VK_CONTROL, 'C'}, box(ControlId::txtNUserName));
    CloseClipboard();

    HWND message = FindWindowW(MessageWindows::kClassName, nullptr);
    ASSERT_NE(message, nullptr);
    const std::wstring text = WideString(WindowText(GetWindow(message, GW_CHILD)));
    EXPECT_NE(text.find(L"（错误 521："), std::wstring::npos) << text;
    EXPECT_EQ(GetFocus(), box(ControlId::txtNUserName));
    EXPECT_EQ(GetForegroundWindow(), main());
    RECT beside{}, window{};
    GetWindowRect(message, &beside);
    GetWindowRect(main(), &window);
    EXPECT_FALSE(Overlap(beside, window));
    SetWindowTextW(box(ControlId::txtPassword), std::wstring(32768, L'a').c_str());
    SetWindowTextW(box(ControlId::txtPassword), L"");
    EXPECT_TRUE(GetWindowRect(message, &beside) && beside.top == window.top) << "the place of one closed above it";
    SendMessageW(message, WM_COMMAND, MAKEWPARAM(1, STN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(message)) << "a click dismisses it";
}

} // namespace
} // namespace portauth::win32
