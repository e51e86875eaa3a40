#pragma once

#include <QAccessibleWidget>

#include <functional>

class QLineEdit;

namespace portauth::qt {

// What assistive programs see of a one-line box and may do to it: what Qt's
// own interface offers, by the window's rules. A read-only box takes no edit
// from them, an input box keeps of what they insert what it keeps of a
// paste, and they read the text as the box shows it: a typed password as
// its stars. Their copies and cuts do not
// pass through here (Qt's bridge puts the text it read on the clipboard
// itself), so every part of the text they read is told to `readOut`.
class TextBoxAccessible final : public QAccessibleWidget,
                                public QAccessibleTextInterface,
                                public QAccessibleEditableTextInterface {
public:
    using ReadOut = std::function<void(const QString& part)>;
    TextBoxAccessible(QLineEdit* box, ReadOut readOut);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text type, const QString& text) override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    QLineEdit* box() const;
    QString shownPart(int startOffset, int endOffset) const;

    ReadOut readOut_;
};

} // namespace portauth::qt
