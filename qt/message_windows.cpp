#include "message_windows.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QWidget>

#include <vector>

#include "qt_text.h"
#include "window_rules.h"

namespace portauth::qt {
namespace {

int toPixels(int twips, const QWidget* window)
{
    return ui::TwipsToPixels(twips, window->logicalDpiX());
}

ui::PixelRect pixelsOf(const QRect& rect)
{
    return {rect.left(), rect.top(), rect.width(), rect.height()};
}

// Frameless, with a close box of its own: on X11 the frame is the window
// manager's, which may give a tool window no close box, or none at all.
QWidget* newMessage(QWidget* window, QObject* clickWatcher)
{
    auto* message = new QWidget(window, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    message->setAttribute(Qt::WA_ShowWithoutActivating);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->setObjectName(QStringLiteral("message"));
    message->setAutoFillBackground(true);
    message->setBackgroundRole(QPalette::ToolTipBase);
    message->setForegroundRole(QPalette::ToolTipText);

    auto* icon = new QLabel(message);
    const int side = message->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(message->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    auto* text = new QLabel(message);
    text->setObjectName(QStringLiteral("text"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setFixedWidth(toPixels(ui::kMessageTextWidthTwips, window));
    auto* close = new QToolButton(message);
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    QObject::connect(close, &QToolButton::clicked, message, &QWidget::close);

    message->installEventFilter(clickWatcher);
    text->installEventFilter(clickWatcher);
    auto* row = new QHBoxLayout(message);
    const int margin = toPixels(ui::kMessageMarginTwips, window);
    row->setContentsMargins(margin, margin, margin, margin);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    row->addWidget(close, 0, Qt::AlignTop);
    return message;
}

} // namespace

MessageWindows::MessageWindows(QWidget* window)
    : window_(window)
{
    // A message raised while the window loads waits for it to be shown, so
    // that it can stand beside it.
    window_->installEventFilter(this);
}

void MessageWindows::Show(ui::Failure cause, std::u16string_view text)
{
    QWidget* message = messageFor(cause);
    message->findChild<QLabel*>(QStringLiteral("text"))
        ->setText(toQString(text));
    message->adjustSize();
    if (window_->isVisible())
        placeAndShow();
}

// The message forgets itself as it closes.
void MessageWindows::Close(ui::Failure cause)
{
    if (const QPointer<QWidget> message = messages_[cause])
        message->close();
    messages_.erase(cause);
}

bool MessageWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Move)
            placeAndShow();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        static_cast<QWidget*>(watched)->window()->close();
    } else if (event->type() == QEvent::Close) {
        // However it closes, the others close up the gap it leaves.
        std::erase_if(messages_, [watched](const auto& shown) { return shown.second.data() == watched; });
        if (window_->isVisible())
            placeAndShow();
    }
    return QObject::eventFilter(watched, event);
}

QWidget* MessageWindows::messageFor(ui::Failure cause)
{
    QPointer<QWidget>& message = messages_[cause];
    if (!message)
        message = newMessage(window_, this);
    return message;
}

void MessageWindows::placeAndShow()
{
    std::vector<QWidget*> shown;
    std::vector<ui::PixelRect> sizes;
    for (const auto& [cause, message] : messages_) {
        if (message) {
            shown.push_back(message);
            sizes.push_back(pixelsOf(message->geometry()));
        }
    }
    const auto placed = ui::PlaceMessages(pixelsOf(window_->frameGeometry()),
                                          pixelsOf(window_->screen()->availableGeometry()), sizes,
                                          window_->logicalDpiX());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        shown[i]->move(placed[i].left, placed[i].top);
        shown[i]->show();
    }
}

} // namespace portauth::qt
