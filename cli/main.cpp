// portauth-cli: the logon values of the window, for a supplicant.

#include <clocale>
#include <exception>
#include <optional>

#include "cli_error.h"
#include "command_line.h"
#include "formats.h"
#include "logon_rules.h"
#include "logon_values.h"
#include "messages.h"
#include "password_input.h"
#include "platform.h"
#include "remembered_inputs.h"
#include "utf.h"
#ifndef _WIN32
#include "network_manager.h"
#endif

namespace portauth::cli {
namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

struct Inputs {
    std::u16string account;
    std::u16string ip;
};

Inputs readInputs(const Options& options)
{
    auto take = [](const std::optional<std::string>& given, const char* option, RememberedInput remembered) {
        return given ? Utf16FromUtf8(*given, option) : Remembered(remembered);
    };
    return {take(options.account, "--account", RememberedInput::Account),
            take(options.ip, "--ip", RememberedInput::IP)};
}

LogonValues deriveWithPassword(const Inputs& inputs, const Options& options, Language language)
{
    const SecretText<char16_t> password = ReadPassword(options.passwordFromStdin, language);
    return DeriveLogonValues(inputs.account, inputs.ip, password.view());
}

#ifndef _WIN32
void saveNetworkManagerProfile(const Inputs& inputs, const Options& options, Language language)
{
    // NetworkManager keeps the identity as UTF-8 text; it cannot send the
    // GBK bytes a non-ASCII user name has on these networks.
    const std::string identity = Utf8FromUtf16(LogonUserName(inputs.account, inputs.ip));
    if (!IsAscii(identity))
        throw CliError(Problem::IdentityNotUtf8, identity);
    std::optional<std::string> existing;
    if (!options.keyfile)
        existing = FindConnection(options.connection);
    const LogonValues values = deriveWithPassword(inputs, options, language);
    const WiredProfile profile{options.connection, options.interfaceName, identity, values.password};
    if (options.keyfile)
        WriteKeyfile(*options.keyfile, profile);
    else
        SaveWithNmcli(profile, existing);
}
#endif

void run(const Options& options, Language language)
{
    if (options.command == Command::Help) {
        WriteOutput(HelpText(language));
        return;
    }
    const Inputs inputs = readInputs(options);
    switch (options.command) {
    case Command::Derive: {
        const LogonValues values = deriveWithPassword(inputs, options, language);
        WriteOutput(options.json ? JsonValues(values) : PlainValues(values));
        break;
    }
    case Command::WpaSupplicant: {
        const LogonValues values = deriveWithPassword(inputs, options, language);
        WriteOutput(WpaSupplicantConfig(IdentityBytes(values.userName), values.password, options.interfaceName));
        break;
    }
    case Command::NetworkManager:
#ifndef _WIN32
        saveNetworkManagerProfile(inputs, options, language);
#endif
        break;
    case Command::Help:
        break;
    }
}

} // namespace
} // namespace portauth::cli

int main(int argc, char** argv)
{
    using namespace portauth::cli;
    // For the system's own error texts (strerror) in the user's language.
    std::setlocale(LC_ALL, "");
    const Language language = MessageLanguage();
    try {
        run(ParseCommandLine(CommandLineArguments(argc, argv)), language);
        return 0;
    } catch (const CliError& error) {
        WriteError(Describe(error, language) + '\n');
        return IsUsageError(error.problem()) ? kUsageError : kFailure;
    } catch (const std::exception& error) {
        WriteError(Describe(CliError(Problem::Unexpected, error.what()), language) + '\n');
        return kFailure;
    }
}
