#include "message_windows.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QWidget>

namespace portauth::qt {
namespace {

constexpr int gap = 8;

QWidget* newMessage(QWidget* window)
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
    text->setFixedWidth(window->width() * 3 / 4);
    auto* close = new QToolButton(message);
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    QObject::connect(close, &QToolButton::clicked, message, &QWidget::close);

    auto* row = new QHBoxLayout(message);
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
        ->setText(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    message->adjustSize();
    if (window_->isVisible())
        placeAndShow();
}

void MessageWindows::Close(ui::Failure cause)
{
    if (const auto message = messages_.find(cause); message != messages_.end()) {
        if (message->second)
            message->second->close();
        messages_.erase(message);
    }
}

bool MessageWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && (event->type() == QEvent::Show || event->type() == QEvent::Move))
        placeAndShow();
    return QObject::eventFilter(watched, event);
}

QWidget* MessageWindows::messageFor(ui::Failure cause)
{
    QPointer<QWidget>& message = messages_[cause];
    if (!message)
        message = newMessage(window_);
    return message;
}

// Stacked to the right of the window, or to its left where the screen ends,
// never over its boxes.
void MessageWindows::placeAndShow()
{
    const QRect frame = window_->frameGeometry();
    const QRect screen = window_->screen()->availableGeometry();
    int top = frame.top();
    for (const auto& [cause, message] : messages_) {
        if (!message)
            continue;
        int left = frame.right() + 1 + gap;
        if (left + message->width() > screen.right() && frame.left() - gap - message->width() >= screen.left())
            left = frame.left() - gap - message->width();
        message->move(left, top);
        message->show();
        top += message->height() + gap;
    }
}

} // namespace portauth::qt
