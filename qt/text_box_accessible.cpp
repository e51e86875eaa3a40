#include "text_box_accessible.h"

#include <QLineEdit>

#include <algorithm>
#include <utility>

#include "qt_text.h"

namespace portauth::qt {

TextBoxAccessible::TextBoxAccessible(QLineEdit* box, ReadOut readOut)
    : QAccessibleWidget(box, QAccessible::EditableText), readOut_(std::move(readOut))
{
}

QLineEdit* TextBoxAccessible::box() const
{
    return static_cast<QLineEdit*>(widget());
}

void* TextBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TextBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.readOnly = box()->isReadOnly();
    state.passwordEdit = box()->echoMode() != QLineEdit::Normal;
    state.selectableText = true;
    return state;
}

QString TextBoxAccessible::text(QAccessible::Text type) const
{
    return type == QAccessible::Value ? box()->displayText() : QAccessibleWidget::text(type);
}

void TextBoxAccessible::setText(QAccessible::Text type, const QString& text)
{
    if (type == QAccessible::Value)
        replaceText(0, characterCount(), text);
    else
        QAccessibleWidget::setText(type, text);
}

void TextBoxAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    const bool selected = selectionIndex == 0 && box()->hasSelectedText();
    *startOffset = selected ? box()->selectionStart() : 0;
    *endOffset = selected ? box()->selectionEnd() : 0;
}

int TextBoxAccessible::selectionCount() const
{
    return box()->hasSelectedText() ? 1 : 0;
}

void TextBoxAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TextBoxAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        box()->deselect();
}

void TextBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        box()->setSelection(startOffset, endOffset - startOffset);
}

int TextBoxAccessible::cursorPosition() const
{
    return box()->cursorPosition();
}

void TextBoxAccessible::setCursorPosition(int position)
{
    box()->setCursorPosition(position);
}

QString TextBoxAccessible::shownPart(int startOffset, int endOffset) const
{
    return startOffset > endOffset ? QString() : box()->displayText().mid(startOffset, endOffset - startOffset);
}

QString TextBoxAccessible::text(int startOffset, int endOffset) const
{
    const QString part = shownPart(startOffset, endOffset);
    readOut_(part);
    return part;
}

int TextBoxAccessible::characterCount() const
{
    return int(box()->displayText().size());
}

// The caret's rectangle is centred on the caret; a character stands as far
// from it as the text before the one is wider than the text before the other.
QRect TextBoxAccessible::characterRect(int offset) const
{
    const QString character = shownPart(offset, offset + 1);
    if (character.isEmpty())
        return {};
    const QString shown = box()->displayText();
    const QFontMetrics metrics(box()->font());
    const QRect caret = box()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const int left = caret.x() + caret.width() / 2 + metrics.horizontalAdvance(shown.left(offset))
        - metrics.horizontalAdvance(shown.left(box()->cursorPosition()));
    return {box()->mapToGlobal(QPoint(left, caret.y())), QSize(metrics.horizontalAdvance(character), metrics.height())};
}

int TextBoxAccessible::offsetAtPoint(const QPoint& point) const
{
    return box()->cursorPositionAt(box()->mapFromGlobal(point));
}

void TextBoxAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    box()->setCursorPosition(endIndex);
    box()->setCursorPosition(startIndex);
}

QString TextBoxAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = offset;
    return {};
}

void TextBoxAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, {});
}

void TextBoxAccessible::insertText(int offset, const QString& text)
{
    replaceText(offset, offset, text);
}

// An end of -1 is the end of the text, as AT-SPI counts.
void TextBoxAccessible::replaceText(int startOffset, int endOffset, const QString& text)
{
    if (box()->isReadOnly())
        return;
    QString whole = box()->text();
    const qsizetype end = endOffset < 0 ? whole.size() : std::min<qsizetype>(endOffset, whole.size());
    const qsizetype start = std::clamp<qsizetype>(startOffset, 0, end);
    box()->setText(whole.replace(start, end - start, pastedLine(text)));
}

} // namespace portauth::qt
