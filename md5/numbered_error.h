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
    explicit NumberedError(ErrorNumber number, const std::string& what = {}, std::string path = {})
        : std::runtime_error(what.empty() ? "error " + std::to_string(static_cast<int>(number)) : what),
          number_(number), path_(std::move(path)) {}

    ErrorNumber number() const noexcept { return number_; }
    // The file or registry key that failed, in UTF-8; empty when none did.
    const std::string& path() const noexcept { return path_; }

private:
    ErrorNumber number_;
    std::string path_;
};

} // namespace portauth
