// The window's decisions, driven without any window.
#include "frmmain.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace portauth;
using namespace portauth::ui;
using enum ControlId;

namespace {

// Boxes as a toolkit holds them: setting a different text raises Change.
class FakeView final : public FormView {
public:
    std::u16string Text(ControlId box) const override { return texts.contains(box) ? texts.at(box) : u""; }
    void SetText(ControlId box, std::u16string_view text) override
    {
        if (Text(box) == text)
            return;
        texts[box] = text;
        form->Change(box);
    }
    // What typing does: the text changes, then Change is raised.
    void type(ControlId box, std::u16string_view text) { SetText(box, Text(box) + std::u16string(text)); }

    std::map<ControlId, std::u16string> texts;
    frmMain* form = nullptr;
};

using Shown = std::vector<std::pair<Failure, std::u16string>>;

// The clipboard, the store and the messages, each failing on demand.
class FakePorts final : public ClipboardPort, public SettingsPort, public MessagePort {
public:
    void Clear() override { copy(u"clear"); }
    void SetText(std::u16string_view text, Sensitivity sensitivity) override
    {
        copy((sensitivity == Sensitivity::Secret ? u"secret:" : u"set:") + std::u16string(text));
    }
    void SetSelectionText(std::u16string_view text, Sensitivity sensitivity) override
    {
        SetText(u"primary " + std::u16string(text), sensitivity);
    }
    std::u16string Get(std::u16string_view key) override
    {
        failIf(unreadable == key, ErrorNumber::SettingsAccess);
        return values[std::u16string(key)];
    }
    void Save(std::u16string_view key, std::u16string_view value) override
    {
        failIf(unwritable, ErrorNumber::SettingsAccess);
        saves.push_back(std::u16string(key) + u'=' + std::u16string(value));
        values[std::u16string(key)] = value;
    }
    // Kept as the cause and the details in brackets that end each message.
    void Show(Failure cause, std::u16string_view text) override
    {
        EXPECT_GT(text.find(u'\n'), 0u) << "a headline above the details";
        shown.emplace_back(cause, std::u16string(text.substr(text.rfind(u'（'))));
    }
    void Close(Failure cause) override { shown.emplace_back(cause, u"closed"); }

    std::vector<std::u16string> clipboard, saves;
    std::map<std::u16string, std::u16string> values;
    Shown shown;
    std::u16string unreadable; // the key whose value cannot be read
    bool clipboardHeld = false, unwritable = false;

private:
    static void failIf(bool failing, ErrorNumber number)
    {
        if (failing)
            throw NumberedError(number, "", u"/home/u/.config/Lanbridge.ini");
    }
    void copy(std::u16string entry)
    {
        failIf(clipboardHeld, ErrorNumber::ClipboardUnavailable);
        clipboard.push_back(std::move(entry));
    }
};

constexpr std::u16string_view abcDigest = u"900150983cd24fb0d6963f7d28e17f72";

class Decisions : public testing::Test {
protected:
    Decisions() { view.form = &form; }
    void load() { form.Form_Load(); }
    bool press(ControlId box, std::int16_t key, std::int16_t shift) { return form.KeyDown(box, key, shift); }

    FakeView view;
    FakePorts ports;
    frmMain form{view, ports, ports, ports};
};

// Each remembered value goes back once, untrimmed, the first with the IP
// still empty; each typed change is derived and remembered.
TEST_F(Decisions, LoadAndTypingDeriveAndRememberEveryValue)
{
    ports.values = {{u"Username", u" 张 "}, {u"IP", u"10.0.0.5"}};
    load();
    EXPECT_EQ(view.Text(txtNUserName), u"张@10.0.0.5");
    EXPECT_EQ(view.Text(txtNPassword), u"");
    view.SetText(txtIP, u"");
    EXPECT_EQ(view.Text(txtNUserName), u"张@");
    view.type(txtIP, u" 10.0.0.6 ");
    EXPECT_EQ(view.Text(txtNUserName), u"张@10.0.0.6");
    view.type(txtPassword, u"abc");
    EXPECT_EQ(view.Text(txtNPassword), abcDigest);
    view.SetText(txtPassword, u"");
    EXPECT_EQ(view.Text(txtNPassword), u"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(ports.saves, (std::vector<std::u16string>{u"Username= 张 ", u"IP=10.0.0.5", u"IP=", u"IP= 10.0.0.6 "}));
    EXPECT_TRUE(ports.shown.empty());
}

// A digest of an earlier text must not stay on show, and the user hears of
// the overflow once until a password can be hashed again.
TEST_F(Decisions, PasswordOverflowEmptiesTheOutputAndTellsOnce)
{
    load();
    view.type(txtPassword, u"abc");
    view.SetText(txtPassword, std::u16string(32768, u'a'));
    EXPECT_EQ(view.Text(txtNPassword), u"");
    view.type(txtPassword, u"b");
    EXPECT_EQ(ports.shown, (Shown{{Failure::Password, u"（错误 6：溢出）"}}));

    view.SetText(txtPassword, u"abc");
    EXPECT_EQ(view.Text(txtNPassword), abcDigest);
    view.type(txtPassword, std::u16string(32768, u'a'));
    EXPECT_EQ(ports.shown.size(), 3u); // told, closed, told again
}

// A value that cannot be read leaves its own box empty, and the other one
// loads. Each failure is told once, in Chinese, while typing goes on; its
// message closes once the store takes a save, of that very value for a load.
TEST_F(Decisions, StoreFailuresAreToldOnceAndCloseWhenGone)
{
    ports.values = {{u"IP", u"10.0.0.5"}};
    ports.unreadable = u"Username";
    ports.unwritable = true;
    load();
    view.type(txtUsername, u"a");
    EXPECT_EQ(view.Text(txtNUserName), u"a@10.0.0.5");
    EXPECT_EQ(ports.shown, (Shown{{Failure::LoadSettings, u"（错误 75：无法读取 /home/u/.config/Lanbridge.ini）"},
                                  {Failure::SaveSettings, u"（错误 75：无法写入 /home/u/.config/Lanbridge.ini）"}}));
    ports.unwritable = false;
    view.type(txtIP, u"2");
    EXPECT_EQ(ports.shown.back(), (std::pair{Failure::SaveSettings, std::u16string(u"closed")}));
    view.type(txtUsername, u"b");
    EXPECT_EQ(ports.shown.back(), (std::pair{Failure::LoadSettings, std::u16string(u"closed")}));
    EXPECT_EQ(ports.shown.size(), 4u);
}

struct KeyCase {
    const char* name;
    ControlId box;
    std::int16_t key, shift;
    std::vector<std::u16string> clipboard; // empty: nothing done, key left to the box
};

// Without it the test's name would hold the row's bytes, pointers and all.
void PrintTo(const KeyCase& row, std::ostream* out) { *out << row.name; }

class CtrlC : public Decisions, public testing::WithParamInterface<KeyCase> {};

// Only Ctrl+C alone copies, the whole text, and takes the key; the domain
// box writes over the clipboard without emptying it; only the password is secret.
TEST_P(CtrlC, CopiesTheWholeTextOfItsOwnBox)
{
    ports.values = {{u"Username", u"alice"}, {u"IP", u"10.0.0.5"}};
    load();
    view.type(txtPassword, u"abc");
    const KeyCase& c = GetParam();
    EXPECT_EQ(press(c.box, c.key, c.shift), !c.clipboard.empty());
    EXPECT_EQ(ports.clipboard, c.clipboard);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CtrlC,
    testing::Values(KeyCase{"UserName", txtNUserName, kKeyC, kCtrlMask, {u"clear", u"set:alice@10.0.0.5"}},
                    KeyCase{"Password", txtNPassword, kKeyC, kCtrlMask, {u"clear", u"secret:900150983cd24fb0d6963f7d28e17f72"}},
                    KeyCase{"Domain", txtNDomain, kKeyC, kCtrlMask, {u"set:"}},
                    KeyCase{"CtrlShiftC", txtNUserName, kKeyC, kCtrlMask | kShiftMask, {}},
                    KeyCase{"CtrlAltC", txtNPassword, kKeyC, kCtrlMask | kAltMask, {}},
                    KeyCase{"PlainC", txtNDomain, kKeyC, 0, {}},
                    KeyCase{"CtrlV", txtNUserName, 86, kCtrlMask, {}},
                    KeyCase{"InputBox", txtUsername, kKeyC, kCtrlMask, {}}),
    [](const testing::TestParamInfo<KeyCase>& row) { return row.param.name; });

// A toolkit's own copy of a selection, to the clipboard or to the primary
// selection: the derived password goes marked secret, the typed one nowhere,
// an empty selection nowhere, the rest as the toolkit copies it.
TEST_F(Decisions, OwnCopiesOfASelection)
{
    EXPECT_TRUE(form.CopySelection(txtNPassword, u"9001"));
    EXPECT_TRUE(form.CopySelection(txtNPassword, u""));
    EXPECT_TRUE(form.CopySelection(txtPassword, u"abc"));
    EXPECT_FALSE(form.CopySelection(txtNUserName, u"bob"));
    EXPECT_FALSE(form.CopySelection(txtUsername, u"bob"));
    for (ControlId box : {txtNPassword, txtNUserName, txtPassword})
        form.SelectionMade(box, u"90");
    form.SelectionMade(txtNPassword, u"");
    EXPECT_EQ(ports.clipboard, (std::vector<std::u16string>{u"clear", u"secret:9001", u"secret:primary 90"}));
}

// Told once, and the copy that works closes the message of those that did not.
TEST_F(Decisions, HeldClipboardIsToldOnceUntilACopyWorks)
{
    load();
    ports.clipboardHeld = true;
    EXPECT_TRUE(press(txtNUserName, kKeyC, kCtrlMask));
    press(txtNDomain, kKeyC, kCtrlMask);
    ports.clipboardHeld = false;
    press(txtNUserName, kKeyC, kCtrlMask);
    EXPECT_EQ(ports.shown, (Shown{{Failure::Clipboard, u"（错误 521：剪贴板正被其他程序占用）"}, {Failure::Clipboard, u"closed"}}));
}

// Letters of either case and digits have their codes; no other key has one.
TEST(Rules, KeysAreCodedByTheirCharacterAndOutputBoxesByTheirFlags)
{
    EXPECT_EQ((std::vector<int>{KeyCodeOf(U'c'), KeyCodeOf(U'Z'), KeyCodeOf(U'0'), KeyCodeOf(U'9'), KeyCodeOf(U'@'),
                                KeyCodeOf(U'['), KeyCodeOf(U'`'), KeyCodeOf(U'{'), KeyCodeOf(U'/'), KeyCodeOf(U':')}),
              (std::vector<int>{67, 90, 48, 57, 0, 0, 0, 0, 0, 0}));
    for (ControlId box : FocusOrder())
        EXPECT_EQ(IsOutputBox(box), ControlOf(box).name.starts_with("txtN")) << ControlOf(box).name;
}

// As PortAuth.exe's edit boxes keep a paste under Wine: up to the first
// line feed, less one carriage return before it; nothing else is cut.
TEST(Rules, APasteKeepsItsFirstLine)
{
    for (const auto& [pasted, kept] : {std::pair<std::u16string_view, std::u16string_view>{u"zh\nrest", u"zh"},
                                       {u"zh\r\nrest", u"zh"}, {u"zh\r\r\n", u"zh\r"}, {u"\nzh", u""},
                                       {u" zh\r\t\v\f\u2028\u0085\r", u" zh\r\t\v\f\u2028\u0085\r"}})
        EXPECT_EQ(PastedLine(pasted), kept) << testing::PrintToString(std::u16string(pasted));
}

// Both programs' screen readers tell the seven boxes apart by name alone.
TEST(Rules, ScreenReadersHearADifferentNameForEachBoxAndItsGroup)
{
    std::u16string said;
    for (ControlId box : FocusOrder())
        said += AccessibleName(box) + u'|' + AccessibleDescription(box) + u'\n';
    EXPECT_EQ(said, u"使用 Windows 自带的802.1x端口认证登录网络|\n"
                    u"用户名|您的网络相关信息\n"
                    u"IP|您的网络相关信息\n"
                    u"密码|您的网络相关信息\n"
                    u"登陆用户名|在Windows802.1x登陆对话窗中所需填写的信息\n"
                    u"登陆密码|在Windows802.1x登陆对话窗中所需填写的信息\n"
                    u"登陆域|在Windows802.1x登陆对话窗中所需填写的信息\n");
}

// A column to the right, 90 twips apart; to the left only where the right
// has no room and the left has.
TEST(Rules, MessagesStackBesideTheWindow)
{
    const PixelRect sizes[] = {{0, 0, 300, 60}, {0, 0, 300, 40}};
    const auto lefts = [&](int windowLeft, int screenWidth, int dpi) {
        std::vector<int> placed;
        for (const PixelRect& at : PlaceMessages({windowLeft, 50, 380, 420}, {0, 0, screenWidth, 768}, sizes, dpi))
            placed.insert(placed.end(), {at.left, at.top});
        return placed;
    };
    EXPECT_EQ(lefts(100, 1024, 96), (std::vector<int>{486, 50, 486, 116}));
    EXPECT_EQ(lefts(100, 1024, 192), (std::vector<int>{492, 50, 492, 122}));
    EXPECT_EQ(lefts(640, 1024, 96), (std::vector<int>{334, 50, 334, 116}));
    EXPECT_EQ(lefts(300, 700, 96), (std::vector<int>{686, 50, 686, 116}));
}

} // namespace
