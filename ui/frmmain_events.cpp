// What the window does: load the remembered inputs, derive the outputs on
// every change, and copy an output box's whole text on Ctrl+C.
#include <QKeyEvent>
#include <QLineEdit>

#include "clipboard_port.h"
#include "error_reporter.h"
#include "frmmain.h"
#include "logon_rules.h"
#include "settings_store.h"
#include "window_texts.h"

namespace portauth {
namespace {

constexpr qint16 kKeyC = 67;
constexpr qint16 kShiftMask = 1;
constexpr qint16 kCtrlMask = 2;
constexpr qint16 kAltMask = 4;

std::u16string_view view(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString toQString(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

QString loadSetting(std::u16string_view key)
{
    return toQString(GetSetting(kSettingsApplication, kSettingsSection, key, u""));
}

// Key codes as the desktop's virtual keys: letters and digits are their
// ASCII codes. Keys without such a code get one no handler acts on.
qint16 keyCodeOf(const QKeyEvent& event)
{
    const int key = event.key();
    const bool letterOrDigit = (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9);
    return letterOrDigit ? static_cast<qint16>(key) : qint16{-1};
}

qint16 shiftStateOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    return static_cast<qint16>((modifiers & Qt::ShiftModifier ? kShiftMask : 0)
                               | (modifiers & Qt::ControlModifier ? kCtrlMask : 0)
                               | (modifiers & Qt::AltModifier ? kAltMask : 0));
}

QString describe(QStringView message, const NumberedError& error)
{
    const QString details = texts::errorNumber.toString().arg(static_cast<int>(error.number())).arg(error.what());
    return message.toString() + u'\n' + details;
}

} // namespace

// Runs one piece of a handler. A failure ends that piece, is reported the
// first time it happens, and is not reported again until the same piece has
// succeeded once more: typing on into a failing store gives one message.
template <class Action>
bool frmMain::guarded(Failure failure, Action&& action)
{
    QString message;
    try {
        action();
        reportedFailures_.erase(failure);
        return true;
    } catch (const NumberedError& error) {
        message = describe(failureText(failure, error.number()), error);
    } catch (const std::exception& error) {
        message = texts::unexpectedError.toString() + u'\n' + QString::fromLocal8Bit(error.what());
    }
    if (reportedFailures_.insert(failure).second)
        reporter_->Report(message);
    return false;
}

QStringView frmMain::failureText(Failure failure, ErrorNumber number)
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

void frmMain::connectHandlers()
{
    connect(txtUsername, &QLineEdit::textChanged, this, &frmMain::txtUsername_Change);
    connect(txtIP, &QLineEdit::textChanged, this, &frmMain::txtIP_Change);
    connect(txtPassword, &QLineEdit::textChanged, this, &frmMain::txtPassword_Change);
    for (QLineEdit* output : {txtNUserName, txtNPassword, txtNDomain})
        output->installEventFilter(this);
}

// Placing a remembered text raises the box's change handler, which derives
// the user name and writes the value back; an empty store changes nothing.
void frmMain::Form_Load()
{
    guarded(Failure::LoadSettings, [this] {
        txtUsername->setText(loadSetting(kUsernameKey));
        txtIP->setText(loadSetting(kIPKey));
    });
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
        txtNPassword->setText(MD5String(txtPassword->text()));
    });
    if (!hashed)
        txtNPassword->clear();
}

void frmMain::txtNUserName_KeyDown(qint16& KeyCode, qint16& Shift)
{
    copyOnCtrlC(txtNUserName, true, KeyCode, Shift);
}

void frmMain::txtNPassword_KeyDown(qint16& KeyCode, qint16& Shift)
{
    copyOnCtrlC(txtNPassword, true, KeyCode, Shift);
}

// The domain box writes its text over whatever else the clipboard holds.
void frmMain::txtNDomain_KeyDown(qint16& KeyCode, qint16& Shift)
{
    copyOnCtrlC(txtNDomain, false, KeyCode, Shift);
}

QString frmMain::MD5String(const QString& S) const
{
    return QString::fromStdString(portauth::MD5String(view(S)));
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);

    const auto& keyEvent = static_cast<const QKeyEvent&>(*event);
    const qint16 pressed = keyCodeOf(keyEvent);
    qint16 KeyCode = pressed;
    qint16 Shift = shiftStateOf(keyEvent);
    if (watched == txtNUserName)
        txtNUserName_KeyDown(KeyCode, Shift);
    else if (watched == txtNPassword)
        txtNPassword_KeyDown(KeyCode, Shift);
    else if (watched == txtNDomain)
        txtNDomain_KeyDown(KeyCode, Shift);
    // A handler that clears the key code has taken the key for itself.
    return pressed != 0 && KeyCode == 0;
}

void frmMain::recomputeUserName()
{
    txtNUserName->setText(toQString(LogonUserName(view(txtUsername->text()), view(txtIP->text()))));
}

void frmMain::remember(std::u16string_view key, const QLineEdit* box)
{
    guarded(Failure::SaveSettings, [&] {
        SaveSetting(kSettingsApplication, kSettingsSection, key, view(box->text()));
    });
}

// Copies the whole text, not the selection, and takes the key so that the
// box's own copy cannot replace it with the selected part.
void frmMain::copyOnCtrlC(const QLineEdit* box, bool emptyClipboardFirst, qint16& KeyCode, qint16 Shift)
{
    if (KeyCode != kKeyC || Shift != kCtrlMask)
        return;
    guarded(Failure::Clipboard, [&] {
        if (emptyClipboardFirst)
            clipboard_->Clear();
        clipboard_->SetText(box->text());
    });
    KeyCode = 0;
}

} // namespace portauth
