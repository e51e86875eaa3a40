#pragma once

#include <stdexcept>
#include <string>

namespace portauth::cli {

// Each way the command can fail; each has one line of text per language.
enum class Problem {
    UnknownOption,
    MissingValue,
    UnknownCommand,
    MissingCommand,
    UnexpectedArgument,
    OptionNotForCommand,
    PasswordOnCommandLine,
    BadInterfaceName,
    BadTimeout,
    InvalidUtf8,
    NotPlainText,
    PasswordNotUtf8,
    PasswordNotInCodePage,
    NoTerminal,
    PasswordUnreadable,
    PasswordMissing,
    PasswordEmpty,
    PasswordTooLong,
    StoreUnreadable,
    NoAccount,
    IdentityTooLong,
    NetworkManagerNotRunning,
    ConnectionNotWritten,
    ConnectionNotActivated,
    PasswordRefused,
    NoAuthenticator,
    DeviceUnavailable,
    ConnectTimedOut,
    IdentityNotUtf8,
    OutputFailed,
    Unexpected,
};

class CliError : public std::runtime_error {
public:
    explicit CliError(Problem problem, const std::string& detail = {})
        : std::runtime_error(detail), problem_(problem) {}
    Problem problem() const noexcept { return problem_; }

private:
    Problem problem_;
};

} // namespace portauth::cli
