#include "system_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "numbered_error.h"
#include "qt_text.h"

namespace portauth::qt {
namespace {

QClipboard& clipboard()
{
    QClipboard* board = QGuiApplication::clipboard();
    if (!board)
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "no clipboard");
    return *board;
}

QMimeData* mimeDataOf(const QString& text, ui::ClipboardPort::Sensitivity sensitivity)
{
    auto* data = new QMimeData;
    data->setText(text);
    // Clipboard managers on X11 and Wayland neither show nor keep a text
    // offered with this hint.
    if (sensitivity == ui::ClipboardPort::Sensitivity::Secret)
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    return data;
}

} // namespace

void SystemClipboard::Clear()
{
    clipboard().clear();
}

void SystemClipboard::SetText(std::u16string_view text, Sensitivity sensitivity)
{
    const QString plain = toQString(text);
    QClipboard& board = clipboard();
    board.setMimeData(mimeDataOf(plain, sensitivity));
    // Qt only logs a warning when the platform refuses; reading back is the
    // one way to know the user will paste what they copied. No waiting and
    // trying again as on Windows: no other program can hold this one open.
    if (board.text() != plain)
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "the clipboard did not take the text");
}

void SystemClipboard::SetSelectionText(std::u16string_view text, Sensitivity sensitivity)
{
    QClipboard& board = clipboard();
    if (board.supportsSelection())
        board.setMimeData(mimeDataOf(toQString(text), sensitivity), QClipboard::Selection);
}

} // namespace portauth::qt
