#pragma once

#include <QString>

class QWidget;

namespace portauth {

// Tells the user about a failure. Behind an interface so that tests can
// collect the messages instead of opening windows.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void Report(const QString& message) = 0;
};

// A warning box beside the window that does not block it: typing goes on
// while the message is shown.
class MessageBoxReporter final : public ErrorReporter {
public:
    explicit MessageBoxReporter(QWidget* window) : window_(window) {}
    void Report(const QString& message) override;

private:
    QWidget* window_;
};

} // namespace portauth
