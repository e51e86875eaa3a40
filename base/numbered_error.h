#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace portauth {

// The one error type of the program: it travels up to the nearest handler
// carrying a number that tells the cause.
enum class ErrorNumber : int {
    Overflow = 6,              // an integer left its range, or a limit was passed
    SubscriptOutOfRange = 9,   // an index lies outside an array
    SettingsAccess = 75,       // the per-user settings store cannot be read or written
    ClipboardUnavailable = 521 // the clipboard cannot be opened or written
};

class NumberedError : public std::runtime_error {
public:
    // `subject` names what failed, such as a file's path, for the message
    // the user sees; `what` is for logs.
    explicit NumberedError(ErrorNumber number, const std::string& what = {}, std::u16string subject = {})
        : std::runtime_error(what.empty() ? "error " + std::to_string(static_cast<int>(number)) : what),
          number_(number), subject_(std::move(subject)) {}

    ErrorNumber number() const noexcept { return number_; }
    const std::u16string& subject() const noexcept { return subject_; }

private:
    ErrorNumber number_;
    std::u16string subject_;
};

} // namespace portauth
