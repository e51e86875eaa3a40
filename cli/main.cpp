// portauth-cli: the logon values of the window, for a supplicant.

#include <algorithm>
#include <clocale>
#include <exception>
#include <optional>

#include "ansi_codepage.h"
#include "cli_error.h"
#include "command_line.h"
#include "formats.h"
#include "logon_rules.h"
#include "messages.h"
#include "password_input.h"
#include "platform.h"
#include "settings_store.h"
#include "utf8.h"
#ifndef _WIN32
#include "network_manager.h"
#endif

namespace portauth::cli {
namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

// The option's value, else what the window remembers in that box.
std::u16string input(const std::optional<std::string>& given, const char* option, std::u16string_view key)
{
    if (given) {
        std::u16string text;
        if (!AppendUtf16(*given, text))
            throw CliError(Problem::InvalidUtf8, option);
        return text;
    }
    try {
        return GetSetting(kSettingsApplication, kSettingsSection, key, u"");
    } catch (const std::exception& error) {
        throw CliError(Problem::StoreUnreadable, error.what());
    }
}

std::string derivedPassword(const Options& options, Language language)
{
    const SecretText<char16_t> password = ReadPassword(options.passwordFromStdin, language);
    try {
        return MD5String({password.data(), password.size()});
    } catch (const NumberedError& error) {
        if (error.number() == ErrorNumber::Overflow)
            throw CliError(Problem::PasswordTooLong);
        throw;
    }
}

// The bytes the identity takes on the wire. The Windows supplicant these
// networks were set up for sends the user name in the system's ANSI code
// page, the same conversion the password is hashed in, so this is GBK; for
// the usual account@address it is plain ASCII and the question never arises.
std::string identityBytes(std::u16string_view userName)
{
    const AnsiBytes ansi = ToAnsiCodePage(userName);
    return std::string(ansi.bytes().begin(), ansi.bytes().end());
}

#ifndef _WIN32
void saveNetworkManagerProfile(const std::string& identity, const Options& options, Language language)
{
    // NetworkManager keeps the identity as UTF-8 text; it cannot send the
    // GBK bytes a non-ASCII user name has on these networks.
    if (std::any_of(identity.begin(), identity.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        throw CliError(Problem::IdentityNotUtf8, identity);
    std::optional<std::string> existing;
    if (!options.keyfile)
        existing = FindConnection(options.connection);
    const WiredProfile profile{options.connection, options.interfaceName, identity, derivedPassword(options, language)};
    if (options.keyfile)
        WriteKeyfile(*options.keyfile, profile);
    else
        SaveWithNmcli(profile, existing);
}
#endif

void run(const Options& options, Language language)
{
    if (options.command == Command::Help)
        return WriteOutput(HelpText(language));
    const std::u16string account = input(options.account, "--account", kUsernameKey);
    const std::u16string userName = LogonUserName(account, input(options.ip, "--ip", kIPKey));
    switch (options.command) {
    case Command::Derive: {
        const std::string password = derivedPassword(options, language);
        WriteOutput(options.json ? JsonValues(ToUtf8(userName), password) : PlainValues(ToUtf8(userName), password));
        break;
    }
    case Command::WpaSupplicant:
        WriteOutput(WpaSupplicantConfig(identityBytes(userName), derivedPassword(options, language),
                                        options.interfaceName));
        break;
    case Command::NetworkManager:
#ifndef _WIN32
        saveNetworkManagerProfile(ToUtf8(userName), options, language);
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
