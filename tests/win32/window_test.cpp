// The Windows window in its own terms: each control as Windows sees it, at
// the dpi the test prefix was given, and the keys, clipboard, registry and
// messages the user meets. Run by window_test.sh under Wine.
#include "main_window.h"

#include <commctrl.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "window_table.h"

namespace portauth::win32 {
namespace {

using ui::ControlId;
using ui::ControlKind;
namespace flags = ui::flags;

int g_expectedDpi = 96;
std::wstring g_programPath;
std::wstring g_iconPath;

std::wstring ClassOf(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window)
{
    const std::u16string text = WindowText(window);
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

std::wstring W(std::u16string_view text)
{
    return WideString(text);
}

RECT ClientRectIn(HWND child, HWND parent)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct Rect {
    long left, top, width, height;
    bool operator==(const Rect&) const = default;
};

void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}

Rect AsRect(const RECT& r)
{
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::wstring RegistryValue(const wchar_t* name)
{
    wchar_t buffer[256]{};
    DWORD bytes = sizeof buffer;
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Lanbridge\\PortAuth", name, RRF_RT_ANY, &type, buffer, &bytes)
        != ERROR_SUCCESS)
        return L"<absent>";
    return type == REG_SZ ? buffer : L"<not REG_SZ>";
}

std::vector<std::wstring> RegistryValueNames()
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Lanbridge\\PortAuth", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

class OpenedForReading {
public:
    OpenedForReading() : open_(OpenClipboard(nullptr) != FALSE) {}
    ~OpenedForReading()
    {
        if (open_)
            CloseClipboard();
    }
    bool open_;
};

std::wstring ClipboardText()
{
    OpenedForReading clipboard;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data)
        return L"<no text>";
    std::wstring text(static_cast<const wchar_t*>(GlobalLock(data)));
    GlobalUnlock(data);
    return text;
}

// The value of a registered DWORD format, or -1 when it is absent.
long long ClipboardDword(const wchar_t* format)
{
    OpenedForReading clipboard;
    HANDLE data = GetClipboardData(RegisterClipboardFormatW(format));
    if (!data || GlobalSize(data) < sizeof(DWORD))
        return -1;
    const DWORD value = *static_cast<const DWORD*>(GlobalLock(data));
    GlobalUnlock(data);
    return value;
}

bool ClipboardHas(const wchar_t* format)
{
    OpenedForReading clipboard;
    return IsClipboardFormatAvailable(RegisterClipboardFormatW(format)) != FALSE;
}

void PutOnClipboard(const wchar_t* text, const wchar_t* extraFormat)
{
    OpenedForReading clipboard;
    EmptyClipboard();
    const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    if (extraFormat) {
        HGLOBAL marker = GlobalAlloc(GMEM_MOVEABLE, 4);
        SetClipboardData(RegisterClipboardFormatW(extraFormat), marker);
    }
}

INPUT Key(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

BOOL CALLBACK CollectMessageWindow(HWND window, LPARAM list)
{
    if (ClassOf(window) == MessageWindows::kClassName && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> MessageWindowsShown()
{
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), &CollectMessageWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring MessageText(HWND message)
{
    return TextOf(GetWindow(message, GW_CHILD));
}

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Lanbridge");
        window_ = MainWindow::Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        ASSERT_NE(window_, nullptr);
        SetForegroundWindow(window_->handle());
        pump();
    }

    void TearDown() override
    {
        window_.reset();
        pump();
    }

    HWND box(ControlId id) const { return window_->control(id); }
    HWND main() const { return window_->handle(); }

    // Handles what is queued, the way the program's message loop does.
    void pump()
    {
        for (int round = 0; round < 4; ++round) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                if (message.message != WM_QUIT)
                    window_ ? window_->Dispatch(message) : static_cast<void>(DispatchMessageW(&message));
            Sleep(5);
        }
    }

    void send(std::vector<INPUT> inputs)
    {
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        pump();
    }

    void press(WORD key, std::vector<WORD> modifiers = {})
    {
        std::vector<INPUT> inputs;
        for (WORD modifier : modifiers)
            inputs.push_back(Key(modifier, false));
        inputs.push_back(Key(key, false));
        inputs.push_back(Key(key, true));
        for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier)
            inputs.push_back(Key(*modifier, true));
        send(inputs);
    }

    void type(std::wstring_view text)
    {
        std::vector<INPUT> inputs;
        for (wchar_t character : text) {
            for (bool up : {false, true}) {
                INPUT input{};
                input.type = INPUT_KEYBOARD;
                input.ki.wScan = character;
                input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
                inputs.push_back(input);
            }
        }
        send(inputs);
    }

    std::string focusedName() const
    {
        for (const ui::Control& control : ui::Controls())
            if (box(control.id) && box(control.id) == GetFocus())
                return std::string(control.name);
        return "<none>";
    }

    void copyFrom(ControlId id, std::vector<WORD> modifiers = {VK_CONTROL})
    {
        SetFocus(box(id));
        press('C', modifiers);
    }

    std::unique_ptr<MainWindow> window_;
};

TEST_F(Window, RunsAtTheDpiTheTestAskedFor)
{
    ScreenDC screen;
    EXPECT_EQ(GetDeviceCaps(screen.get(), LOGPIXELSX), g_expectedDpi);
    EXPECT_EQ(GetDeviceCaps(screen.get(), LOGPIXELSY), g_expectedDpi);
}

TEST_F(Window, HasAFixedFrameWithACloseBoxOnlyAndTheClientAreaOfTheLayout)
{
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(main(), GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    RECT client{};
    GetClientRect(main(), &client);
    // 5475 x 5940 twips.
    const Rect expected = g_expectedDpi == 120 ? Rect{0, 0, 456, 495} : Rect{0, 0, 365, 396};
    EXPECT_EQ(AsRect(client), expected);
    EXPECT_EQ(TextOf(main()), L"Lanbridge 802.1x Util for Windows 64");
}

// Three rows whose twips do not divide evenly at 120 dpi, rounded half up.
TEST_F(Window, PlacesControlsByTwipsAtTheLogicalDpi)
{
    struct Anchor {
        ControlId id;
        Rect at96;
        Rect at120;
    };
    const Anchor anchors[] = {
        {ControlId::Text1, {12, 32, 340, 151}, {15, 40, 425, 189}},
        {ControlId::txtNDomain, {76, 365, 271, 20}, {95, 456, 339, 25}},
        {ControlId::Label7, {14, 11, 262, 17}, {18, 14, 328, 21}},
    };
    for (const Anchor& anchor : anchors)
        EXPECT_EQ(AsRect(ClientRectIn(box(anchor.id), main())), g_expectedDpi == 120 ? anchor.at120 : anchor.at96)
            << ui::ControlOf(anchor.id).name;
}

TEST_F(Window, ControlsSitInsideTheClientAreaWithoutOverlapping)
{
    RECT client{};
    GetClientRect(main(), &client);
    std::vector<std::pair<std::string_view, RECT>> placed;
    for (const ui::Control& control : ui::Controls())
        if (box(control.id))
            placed.emplace_back(control.name, ClientRectIn(box(control.id), main()));
    ASSERT_EQ(placed.size(), ui::kControlCount - 1);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        RECT inside{};
        IntersectRect(&inside, &placed[i].second, &client);
        EXPECT_TRUE(EqualRect(&inside, &placed[i].second)) << placed[i].first;
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            RECT common{};
            EXPECT_FALSE(IntersectRect(&common, &placed[i].second, &placed[j].second))
                << placed[i].first << " overlaps " << placed[j].first;
        }
    }
}

TEST_F(Window, EachControlIsTheWindowsControlOfItsKindWithItsTextFlagsAndFont)
{
    for (const ui::Control& control : ui::Controls()) {
        SCOPED_TRACE(control.name);
        HWND child = box(control.id);
        if (control.kind == ControlKind::Line) {
            EXPECT_EQ(child, nullptr);
            continue;
        }
        ASSERT_NE(child, nullptr);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
        const bool edit = control.isTextBox();
        EXPECT_EQ(ClassOf(child), edit ? L"Edit" : L"Static");
        EXPECT_EQ(TextOf(child), W(control.text));
        EXPECT_EQ((style & WS_TABSTOP) != 0, edit);
        EXPECT_EQ(style & (WS_HSCROLL | WS_VSCROLL), 0u);
        if (edit) {
            EXPECT_EQ((style & ES_READONLY) != 0, control.has(flags::Locked));
            EXPECT_EQ((style & ES_MULTILINE) != 0, control.kind == ControlKind::MultiLineTextBox);
            EXPECT_EQ(SendMessageW(child, EM_GETPASSWORDCHAR, 0, 0), control.has(flags::PasswordStar) ? L'*' : 0);
            HIMC context = ImmGetContext(child);
            EXPECT_EQ(context == nullptr, control.has(flags::InputMethodOff));
            ImmReleaseContext(child, context);
        }
        LOGFONTW font{};
        ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
        EXPECT_EQ(font.lfCharSet, 134);
        EXPECT_EQ(font.lfWeight, 400);
        // 9 points, or a pixel or two less where the face's cells outgrow the
        // twips at this dpi.
        const int ninePoints = -MulDiv(9, g_expectedDpi, 72);
        if (g_expectedDpi == 96) {
            EXPECT_EQ(font.lfHeight, ninePoints);
        }
        EXPECT_GE(font.lfHeight, ninePoints);
        EXPECT_LE(font.lfHeight, ninePoints * 7 / 8);
    }
}

// The text as the font draws it, in the control's own device context.
SIZE TextExtent(HWND control, std::wstring_view text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

TEST_F(Window, EveryLabelShowsItsWholeTextOnOneLine)
{
    for (const ui::Control& control : ui::Controls()) {
        if (control.kind != ControlKind::Label)
            continue;
        RECT client{};
        GetClientRect(box(control.id), &client);
        const SIZE text = TextExtent(box(control.id), W(control.text));
        EXPECT_LE(text.cx, client.right) << control.name;
        EXPECT_LE(text.cy, client.bottom) << control.name;
    }
}

// Where the EDIT itself put each line's last visible character.
TEST_F(Window, InstructionsShowTheirTwelveLinesWholeAndUnscrolled)
{
    HWND text1 = box(ControlId::Text1);
    ASSERT_EQ(SendMessageW(text1, EM_GETLINECOUNT, 0, 0), 12);
    EXPECT_EQ(SendMessageW(text1, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    RECT format{};
    SendMessageW(text1, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const std::wstring text = TextOf(text1);
    const LONG lineHeight = TextExtent(text1, L"中").cy;
    for (WPARAM line = 0; line < 11; ++line) {
        const auto start = static_cast<std::size_t>(SendMessageW(text1, EM_LINEINDEX, line, 0));
        const auto length = static_cast<std::size_t>(SendMessageW(text1, EM_LINELENGTH, start, 0));
        const std::size_t last = text.find_last_not_of(L' ', start + length - 1);
        const LRESULT position = SendMessageW(text1, EM_POSFROMCHAR, last, 0);
        const LONG right = static_cast<short>(LOWORD(position)) + TextExtent(text1, text.substr(last, 1)).cx;
        EXPECT_LE(right, format.right) << "line " << line + 1;
        EXPECT_LE(static_cast<short>(HIWORD(position)) + lineHeight, format.bottom) << "line " << line + 1;
    }
}

COLORREF PixelAt(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

TEST_F(Window, DrawsTheRuleAcrossTheWindowAndTheOutputBoxesOnTheScrollBarColour)
{
    UpdateWindow(main());
    RECT client{};
    GetClientRect(main(), &client);
    const int ruleY = MulDiv(4305, g_expectedDpi, 1440);
    for (int x : {0, static_cast<int>(client.right / 2), static_cast<int>(client.right - 1)}) {
        EXPECT_EQ(PixelAt(main(), x, ruleY), GetSysColor(COLOR_WINDOWTEXT)) << "x " << x;
        EXPECT_EQ(PixelAt(main(), x, ruleY + 1), GetSysColor(COLOR_3DFACE)) << "x " << x;
    }
    ASSERT_NE(GetSysColor(COLOR_SCROLLBAR), GetSysColor(COLOR_WINDOW)) << "the test prefix sets them apart";
    for (ControlId id : {ControlId::txtNUserName, ControlId::txtNPassword, ControlId::txtNDomain, ControlId::Text1,
                         ControlId::txtUsername}) {
        UpdateWindow(box(id));
        RECT inner{};
        GetClientRect(box(id), &inner);
        const bool grey = ui::ControlOf(id).has(flags::GreyBackground);
        EXPECT_EQ(PixelAt(box(id), inner.right - 3, inner.bottom - 3),
                  GetSysColor(grey ? COLOR_SCROLLBAR : COLOR_WINDOW))
            << ui::ControlOf(id).name;
    }
}

TEST_F(Window, FocusStartsInTheInstructionsAndTabWalksTheBoxesBothWays)
{
    std::vector<std::string> visited{focusedName()};
    for (int i = 0; i < 7; ++i) {
        press(VK_TAB);
        visited.push_back(focusedName());
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"Text1", "txtUsername", "txtIP", "txtPassword", "txtNUserName",
                                                 "txtNPassword", "txtNDomain", "Text1"}));
    press(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(focusedName(), "txtNDomain");
}

TEST_F(Window, TypingFillsTheOutputsAndTheRegistryButNeverStoresThePassword)
{
    press(VK_TAB);
    type(L" alice ");
    press(VK_TAB);
    type(L"10.0.0.5");
    press(VK_TAB);
    type(L"abc");
    EXPECT_EQ(TextOf(box(ControlId::txtNUserName)), L"alice@10.0.0.5");
    EXPECT_EQ(TextOf(box(ControlId::txtNPassword)), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(RegistryValue(L"Username"), L" alice ");
    EXPECT_EQ(RegistryValue(L"IP"), L"10.0.0.5");
    EXPECT_EQ(RegistryValueNames(), (std::vector<std::wstring>{L"IP", L"Username"}));
}

TEST_F(Window, CtrlCCopiesTheWholeOutputAndMarksOnlyThePasswordSecret)
{
    SetWindowTextW(box(ControlId::txtUsername), L"bob");
    SetWindowTextW(box(ControlId::txtPassword), L"abc");
    pump();
    // With part of the text selected, the box's own copy would take the part.
    SendMessageW(box(ControlId::txtNUserName), EM_SETSEL, 0, 1);
    copyFrom(ControlId::txtNUserName);
    EXPECT_EQ(ClipboardText(), L"bob@");
    EXPECT_FALSE(ClipboardHas(L"ExcludeClipboardContentFromMonitorProcessing"));

    copyFrom(ControlId::txtNPassword);
    EXPECT_EQ(ClipboardText(), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(ClipboardHas(L"ExcludeClipboardContentFromMonitorProcessing"));
    EXPECT_EQ(ClipboardDword(L"CanIncludeInClipboardHistory"), 0);
    EXPECT_EQ(ClipboardDword(L"CanUploadToCloudClipboard"), 0);

    copyFrom(ControlId::txtNUserName, {VK_CONTROL, VK_SHIFT});
    copyFrom(ControlId::txtNUserName, {VK_CONTROL, VK_MENU});
    EXPECT_EQ(ClipboardText(), L"900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(Window, CtrlCInTheDomainBoxWritesOverTheClipboardWithoutEmptyingIt)
{
    PutOnClipboard(L"earlier", L"PortAuthTestMarker");
    copyFrom(ControlId::txtNDomain);
    EXPECT_EQ(ClipboardText(), L"");
    EXPECT_TRUE(ClipboardHas(L"PortAuthTestMarker"));
}

TEST_F(Window, AHeldClipboardIsToldOnceWithoutTakingTheFocus)
{
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        OpenClipboard(nullptr);
        SetEvent(held);
        WaitForSingleObject(release, INFINITE);
        CloseClipboard();
    });
    WaitForSingleObject(held, INFINITE);
    copyFrom(ControlId::txtNUserName);
    copyFrom(ControlId::txtNUserName);
    SetEvent(release);
    holder.join();
    CloseHandle(held);
    CloseHandle(release);

    const auto messages = MessageWindowsShown();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(MessageText(messages[0]).find(L"（错误 521："), std::wstring::npos) << MessageText(messages[0]);
    EXPECT_EQ(focusedName(), "txtNUserName");
    EXPECT_EQ(GetForegroundWindow(), main());
}

TEST_F(Window, APasswordTooLongEmptiesTheDigestWithOneMessageBesideTheWindow)
{
    press(VK_TAB);
    press(VK_TAB);
    press(VK_TAB);
    type(L"a");
    ASSERT_EQ(TextOf(box(ControlId::txtNPassword)).size(), 32u);

    // 32,768 bytes in code page 936, one more than a digest takes at once.
    SetWindowTextW(box(ControlId::txtPassword), std::wstring(16384, L'中').c_str());
    pump();
    type(L"b");
    EXPECT_EQ(TextOf(box(ControlId::txtPassword)).size(), 16385u) << "the keys went on into the box";
    EXPECT_EQ(TextOf(box(ControlId::txtNPassword)), L"");
    EXPECT_EQ(focusedName(), "txtPassword");
    EXPECT_EQ(GetForegroundWindow(), main());

    const auto messages = MessageWindowsShown();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(MessageText(messages[0]).find(L"（错误 6："), std::wstring::npos) << MessageText(messages[0]);
    RECT message{}, window{}, common{};
    GetWindowRect(messages[0], &message);
    GetWindowRect(main(), &window);
    EXPECT_FALSE(IntersectRect(&common, &message, &window));
    EXPECT_NE(GetWindowLongPtrW(messages[0], GWL_EXSTYLE) & WS_EX_NOACTIVATE, 0);

    SendMessageW(messages[0], WM_COMMAND, MAKEWPARAM(1, STN_CLICKED), 0);
    pump();
    EXPECT_TRUE(MessageWindowsShown().empty()) << "a click dismisses it";
}

// The program file's own resources, read back by Windows.
std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* key)
{
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length))
        return L"<absent>";
    return static_cast<const wchar_t*>(value);
}

TEST(ProgramFile, CarriesItsVersionBlock)
{
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(g_programPath.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(g_programPath.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    for (auto [key, value] : {std::pair{L"FileVersion", L"1.00"}, std::pair{L"ProductVersion", L"1.00"},
                              std::pair{L"ProductName", L"PortAuth"}, std::pair{L"InternalName", L"PortAuth"},
                              std::pair{L"OriginalFilename", L"PortAuth.exe"}})
        EXPECT_EQ(VersionString(block, key), value) << key;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

std::vector<char> ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return {};
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return {data, data + SizeofResource(module, found)};
}

TEST(ProgramFile, CarriesTheIconAsItsOnly48By48Image)
{
    HMODULE program = LoadLibraryExW(g_programPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    const std::vector<char> group = ResourceBytes(program, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1)); // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6 + sizeof(GroupIconEntry));
    EXPECT_EQ(*reinterpret_cast<const WORD*>(group.data() + 4), 1) << "one image";
    GroupIconEntry entry{};
    memcpy(&entry, group.data() + 6, sizeof entry);
    EXPECT_EQ(entry.width, 48);
    EXPECT_EQ(entry.height, 48);
    EXPECT_EQ(entry.bitCount, 8);
    const std::vector<char> image = ResourceBytes(program, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(entry.id)); // RT_ICON
    FreeLibrary(program);

    std::ifstream file(g_iconPath.c_str(), std::ios::binary);
    const std::vector<char> ico((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GE(ico.size(), 22u);
    DWORD size = 0, offset = 0;
    memcpy(&size, ico.data() + 14, 4);
    memcpy(&offset, ico.data() + 18, 4);
    ASSERT_LE(offset + size, ico.size());
    const auto start = ico.begin() + static_cast<std::ptrdiff_t>(offset);
    EXPECT_EQ(image, std::vector<char>(start, start + static_cast<std::ptrdiff_t>(size)));
}

} // namespace
} // namespace portauth::win32

// window_test.exe DPI PROGRAM ICON: the dpi the prefix was set to, the
// program file and the icon file it should carry.
int wmain(int argc, wchar_t* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        fputs("usage: window_test.exe DPI PORTAUTH.EXE PORTAUTH.ICO\n", stderr);
        return 2;
    }
    portauth::win32::g_expectedDpi = _wtoi(argv[1]);
    portauth::win32::g_programPath = argv[2];
    portauth::win32::g_iconPath = argv[3];
    return RUN_ALL_TESTS();
}
