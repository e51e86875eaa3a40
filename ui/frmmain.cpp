// What the window does: load the remembered inputs, derive the outputs on
// every change, and copy an output box's whole text on Ctrl+C.
#include "frmmain.h"

#include <exception>

#include "logon_rules.h"
#include "numbered_error.h"
#include "settings_store.h"
#include "window_texts.h"

namespace portauth::ui {
namespace {

using enum ControlId;

std::u16string_view failureText(Failure failure, ErrorNumber number)
{
    switch (failure) {
    case Failure::LoadSettings:
        return texts::settingsUnreadable;
    case Failure::SaveSettings:
        return texts::settingsUnwritable;
    case Failure::Password:
        return number == ErrorNumber::Overflow ? texts::passwordTooLong : texts::unexpectedError;
    case Failure::Clipboard:
        return texts::clipboardUnavailable;
    }
    return texts::unexpectedError;
}

std::u16string detailsOf(Failure failure, const NumberedError& error)
{
    std::u16string detail;
    switch (error.number()) {
    case ErrorNumber::SettingsAccess:
        detail.append(failure == Failure::LoadSettings ? texts::cannotRead : texts::cannotWrite).append(error.subject());
        break;
    case ErrorNumber::Overflow:
        detail = texts::overflow;
        break;
    case ErrorNumber::SubscriptOutOfRange:
        detail = texts::subscriptOutOfRange;
        break;
    case ErrorNumber::ClipboardUnavailable:
        detail = texts::clipboardHeld;
        break;
    }
    std::u16string number;
    for (char digit : std::to_string(static_cast<int>(error.number())))
        number += static_cast<char16_t>(digit);
    return std::u16string(texts::errorDetailsOpen) + number + std::u16string(texts::errorDetailsColon) + detail
        + std::u16string(texts::errorDetailsClose);
}

std::u16string messageFor(Failure failure, const NumberedError& error)
{
    return std::u16string(failureText(failure, error.number())) + u'\n' + detailsOf(failure, error);
}

} // namespace

frmMain::frmMain(FormView& view, ClipboardPort& clipboard, SettingsPort& settings, MessagePort& messages)
    : view_(view), clipboard_(clipboard), settings_(settings), messages_(messages)
{
}

void frmMain::Change(ControlId box)
{
    switch (box) {
    case txtUsername:
        return txtUsername_Change();
    case txtIP:
        return txtIP_Change();
    case txtPassword:
        return txtPassword_Change();
    default:
        return;
    }
}

bool frmMain::KeyDown(ControlId box, std::int16_t KeyCode, std::int16_t Shift)
{
    const std::int16_t pressed = KeyCode;
    switch (box) {
    case txtNUserName:
        txtNUserName_KeyDown(KeyCode, Shift);
        break;
    case txtNPassword:
        txtNPassword_KeyDown(KeyCode, Shift);
        break;
    case txtNDomain:
        txtNDomain_KeyDown(KeyCode, Shift);
        break;
    default:
        return false;
    }
    // A handler that clears the key code has taken the key for itself.
    return pressed != 0 && KeyCode == 0;
}

// Runs one piece of a handler. A failure ends that piece and is told the
// first time it happens, and not again until the same piece has succeeded
// once more, which closes its message: typing on into a failing store gives
// one message, and none stays once the store takes the text.
template <class Action>
bool frmMain::guarded(Failure failure, Action&& action)
{
    const std::optional<std::u16string> message = attempt(failure, action);
    if (message)
        tell(failure, *message);
    else
        settle(failure);
    return !message;
}

// The message of the failure, or nothing when the action succeeded.
template <class Action>
std::optional<std::u16string> frmMain::attempt(Failure failure, Action&& action)
{
    try {
        action();
        return std::nullopt;
    } catch (const NumberedError& error) {
        return messageFor(failure, error);
    } catch (const std::exception&) {
        return std::u16string(texts::unexpectedError);
    }
}

void frmMain::tell(Failure failure, std::u16string_view message)
{
    if (reported_.insert(failure).second)
        messages_.Show(failure, message);
}

void frmMain::settle(Failure failure)
{
    if (reported_.erase(failure) != 0)
        messages_.Close(failure);
}

// Placing a remembered text raises the box's Change handler, which derives
// the user name and writes the value back; the store writes nothing for a
// value it already holds, and an empty store changes nothing at all. Each
// value loads on its own: one that cannot be read leaves its box empty, and
// its message stays until a save has replaced it.
void frmMain::Form_Load()
{
    for (const auto& [box, key] : {std::pair{txtUsername, kUsernameKey}, std::pair{txtIP, kIPKey}}) {
        // Named captures: clang before 16 cannot capture structured bindings.
        const std::optional<std::u16string> message = attempt(Failure::LoadSettings, [this, box = box, key = key] {
            show(box, settings_.Get(key));
        });
        if (message) {
            unloaded_.insert(key);
            tell(Failure::LoadSettings, *message);
        }
    }
}

void frmMain::txtUsername_Change()
{
    recomputeUserName();
    remember(kUsernameKey, txtUsername);
}

void frmMain::txtIP_Change()
{
    recomputeUserName();
    remember(kIPKey, txtIP);
}

// A digest that belongs to an earlier text must not stay on show: when the
// password cannot be hashed the output is emptied.
void frmMain::txtPassword_Change()
{
    const bool hashed = guarded(Failure::Password, [this] {
        const std::string digest = MD5String(view_.Text(txtPassword));
        show(txtNPassword, std::u16string(digest.begin(), digest.end()));
    });
    if (!hashed)
        show(txtNPassword, u"");
}

void frmMain::txtNUserName_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift)
{
    copyOnCtrlC(txtNUserName, true, ClipboardPort::Sensitivity::Plain, KeyCode, Shift);
}

// The derived password is the network credential itself.
void frmMain::txtNPassword_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift)
{
    copyOnCtrlC(txtNPassword, true, ClipboardPort::Sensitivity::Secret, KeyCode, Shift);
}

// The domain box writes its text over whatever else the clipboard holds.
void frmMain::txtNDomain_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift)
{
    copyOnCtrlC(txtNDomain, false, ClipboardPort::Sensitivity::Plain, KeyCode, Shift);
}

std::string frmMain::MD5String(std::u16string_view S) const
{
    return portauth::MD5String(S);
}

// Only a text that differs: a toolkit may raise Change for the same text.
void frmMain::show(ControlId box, std::u16string_view text)
{
    if (view_.Text(box) != text)
        view_.SetText(box, text);
}

void frmMain::recomputeUserName()
{
    show(txtNUserName, LogonUserName(view_.Text(txtUsername), view_.Text(txtIP)));
}

void frmMain::remember(std::u16string_view key, ControlId box)
{
    if (guarded(Failure::SaveSettings, [&] { settings_.Save(key, view_.Text(box)); }) && unloaded_.erase(key) != 0
        && unloaded_.empty())
        settle(Failure::LoadSettings);
}

// The typed password never leaves its box, and the derived one leaves only
// marked secret; any other box copies as its toolkit does. As with the
// toolkits' own copy, nothing selected copies nothing.
bool frmMain::CopySelection(ControlId box, std::u16string_view selection)
{
    if (box == txtNPassword && !selection.empty())
        guarded(Failure::Clipboard, [&] {
            clipboard_.Clear();
            clipboard_.SetText(selection, ClipboardPort::Sensitivity::Secret);
        });
    return box == txtPassword || box == txtNPassword;
}

// The toolkit's own copy stands, so the derived password's is offered again,
// marked; only a failure is told, as a success says nothing of the clipboard.
void frmMain::SelectionMade(ControlId box, std::u16string_view selection)
{
    if (box != txtNPassword || selection.empty())
        return;
    const auto marked = [&] { clipboard_.SetSelectionText(selection, ClipboardPort::Sensitivity::Secret); };
    if (const std::optional<std::u16string> message = attempt(Failure::Clipboard, marked))
        tell(Failure::Clipboard, *message);
}

// Copies the whole text, not the selection, and takes the key so that the
// box's own copy cannot replace it with the selected part.
void frmMain::copyOnCtrlC(ControlId box, bool emptyClipboardFirst, ClipboardPort::Sensitivity sensitivity,
                          std::int16_t& KeyCode, std::int16_t Shift)
{
    if (KeyCode != kKeyC || Shift != kCtrlMask)
        return;
    guarded(Failure::Clipboard, [&] {
        if (emptyClipboardFirst)
            clipboard_.Clear();
        clipboard_.SetText(view_.Text(box), sensitivity);
    });
    KeyCode = 0;
}

} // namespace portauth::ui
