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
#include "plain_text.h"
#include "platform.h"
#include "settings_store.h"
#include "utf8.h"
#ifndef _WIN32
#include "connect.h"
#include "keyfile.h"
#endif

namespace portauth::cli {
namespace {

// RADIUS carries the identity on to the authentication server as its
// User-Name, which holds at most 253 bytes: a longer one never logs on.
// wpa_supplicant's and NetworkManager's own limits lie beyond it.
constexpr std::size_t kLongestIdentity = 253;

std::u16string rememberedOrGiven(const std::optional<std::string>& given, const char* option,
                                 std::u16string_view key)
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

// The option's value, else what the window remembers in that box; never
// with control characters, which would end up in a configuration file's
// line or on the terminal.
std::u16string input(const std::optional<std::string>& given, const char* option, std::u16string_view key)
{
    std::u16string text = rememberedOrGiven(given, option, key);
    if (std::any_of(text.begin(), text.end(), IsControlCharacter))
        throw CliError(Problem::NotPlainText, option);
    return text;
}

std::string checkedIdentity(std::string identity)
{
    if (identity.size() > kLongestIdentity)
        throw CliError(Problem::IdentityTooLong, std::to_string(identity.size()));
    return identity;
}

std::string derivedPassword(const Options& options, Language language)
{
    const SecretText<char16_t> password = ReadPassword(options, language);
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
void useNetworkManager(const std::string& identity, const Options& options, Language language)
{
    // NetworkManager keeps the identity as UTF-8 text; it cannot send the
    // GBK bytes a non-ASCII user name has on these networks.
    if (std::any_of(identity.begin(), identity.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        throw CliError(Problem::IdentityNotUtf8, identity);
    checkedIdentity(identity);
    // What stands in the way is told before anyone types a password.
    const auto profile = [&] {
        return WiredProfile{options.connection, options.interfaceName, identity, derivedPassword(options, language)};
    };
    if (options.keyfile) {
        const std::string uuid = KeyfileUuid(*options.keyfile);
        return WriteKeyfile(*options.keyfile, profile(), uuid);
    }
    if (options.command == Command::NetworkManager)
        return SaveProfile(options, profile);
    const std::string interfaceName = Connect(options, profile, language);
    const std::string line = ConnectedText(options.connection, interfaceName, language);
    WriteOutput(options.json ? JsonOutcome("connected", line) : line + '\n');
}
#endif

void run(const Options& options, Language language)
{
    if (options.command == Command::Help)
        return WriteOutput(HelpText(language));
    const std::u16string account = input(options.account, "--account", kUsernameKey);
    if (account.find_first_not_of(u' ') == std::u16string::npos)
        throw CliError(Problem::NoAccount);
    const std::u16string userName = LogonUserName(account, input(options.ip, "--ip", kIPKey));
    switch (options.command) {
    case Command::Derive: {
        const std::string password = derivedPassword(options, language);
        WriteOutput(options.json ? JsonValues(ToUtf8(userName), password) : PlainValues(ToUtf8(userName), password));
        break;
    }
    case Command::WpaSupplicant:
        WriteOutput(WpaSupplicantConfig(checkedIdentity(identityBytes(userName)), derivedPassword(options, language),
                                        options.interfaceName));
        break;
    case Command::NetworkManager:
    case Command::Connect:
#ifndef _WIN32
        useNetworkManager(ToUtf8(userName), options, language);
#endif
        break;
    case Command::Help:
        break;
    }
}

} // namespace
} // namespace portauth::cli

namespace {

void report(const portauth::cli::CliError& error, bool json, portauth::cli::Language language)
{
    using namespace portauth::cli;
    const std::string line = Describe(error, language);
    if (json) {
        try {
            return WriteOutput(JsonOutcome(OutcomeName(error.problem()), line));
        } catch (const CliError&) {
        }
    }
    WriteError(line + '\n');
}

} // namespace

int main(int argc, char** argv)
{
    using namespace portauth::cli;
    // For the system's own error texts (strerror) in the user's language.
    std::setlocale(LC_ALL, "");
    const Language language = MessageLanguage();
    const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
    const bool json = AsksForJson(arguments);
    try {
        run(ParseCommandLine(arguments), language);
        return 0;
    } catch (const CliError& error) {
        report(error, json, language);
        return ExitCode(error.problem());
    } catch (const std::exception& error) {
        report(CliError(Problem::Unexpected, error.what()), json, language);
        return ExitCode(Problem::Unexpected);
    }
}
