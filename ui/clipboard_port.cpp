#include "clipboard_port.h"

#include <QClipboard>
#include <QGuiApplication>

#include "numbered_error.h"

namespace portauth {
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

void SystemClipboard::SetText(const QString& text)
{
    QClipboard& board = clipboard();
    board.setText(text);
    // Qt only logs a warning when the platform refuses; reading back is the
    // one way to know the user will paste what they copied.
    if (board.text() != text)
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "the clipboard did not take the text");
}

} // namespace portauth
