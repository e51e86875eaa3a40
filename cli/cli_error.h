#pragma once

#include <stdexcept>
#include <string>

namespace portauth::cli {

// Each way the command can fail; each has one line of text per language. A
// detail of several parts, one for each %s of the text, joins them by '\n'.
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
    PasswordHasNul,
    PasswordTooLong,
    StoreUnreadable,
    NoAccount,
    IdentityTooLong,
    NetworkManagerNotRunning,
    NetworkManagerSilent,
    NoSuchDevice,
    NotEthernet,
    DeviceUnmanaged,
    NoEthernetDevice,
    SeveralDevices,
    ProfileNotUnique,
    ProfileNotWired,
    SecretsUnreadable,
    ConnectionNotWritten,
    ConnectionNotActivated,
    PasswordRefused,
    NoAuthenticator,
    NoLogonSeen,
    LogonUnfinished,
    DeviceUnavailable,
    DeviceRemoved,
    DeviceTaken,
    DeviceDisconnected,
    SupplicantFailed,
    SupplicantDisconnected,
    ProfileRemoved,
    NoAddress,
    ActivationFailed,
    ConnectTimedOut,
    Interrupted,
    Terminated,
    HungUp,
    ProfileNotRestored,
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
