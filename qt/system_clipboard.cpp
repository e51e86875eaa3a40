#include "system_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "numbered_error.h"

namespace portauth::qt {
namespace {

QClipboard& clipboard()
{
    QClipboard* board = QGuiApplication::clipboard();
    if (!board)
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "no clipboard");
    return *board;
}

} // namespace

void SystemClipboard::Clear()
{
    clipboard().clear();
}

void SystemClipboard::SetText(std::u16string_view text, Sensitivity sensitivity)
{
    const QString plain = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    auto* data = new QMimeData;
    data->setText(plain);
    // Clipboard managers on X11 and Wayland neither show nor keep a text
    // offered with this hint.
    if (sensitivity == Sensitivity::Secret)
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QClipboard& board = clipboard();
    board.setMimeData(data);
    // Qt only logs a warning when the platform refuses; reading back is the
    // one way to know the user will paste what they copied. No waiting and
    // trying again as on Windows: no other program can hold this one open.
    if (board.text() != plain)
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "the clipboard did not take the text");
}

} // namespace portauth::qt
