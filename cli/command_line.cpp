#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "cli_error.h"
#include "plain_text.h"

namespace portauth::cli {
namespace {

Command commandNamed(std::string_view name)
{
    if (name == "derive")
        return Command::Derive;
    if (name == "wpa-supplicant")
        return Command::WpaSupplicant;
#ifndef _WIN32
    if (name == "networkmanager")
        return Command::NetworkManager;
    if (name == "connect")
        return Command::Connect;
#endif
    throw CliError(Problem::UnknownCommand, std::string(name));
}

// The kernel's rule for interface names (at most 15 bytes, no '/', ':' or
// white space), narrowed to printable ASCII so the name is safe in every
// file format it ends up in.
bool isInterfaceName(std::string_view name)
{
    if (name.empty() || name.size() > 15 || name == "." || name == "..")
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return c > ' ' && c < 0x7F && c != '/' && c != ':';
    });
}

bool isPasswordOption(std::string_view argument)
{
    return argument == "-p" || argument == "--password" || argument.starts_with("--password=");
}

bool belongsTo(std::string_view option, Command command)
{
    if (option == "--json")
        return command == Command::Derive || command == Command::Connect;
    if (option == "--interface")
        return command != Command::Derive;
    if (option == "--connection")
        return command == Command::NetworkManager || command == Command::Connect;
    if (option == "--keyfile")
        return command == Command::NetworkManager;
    if (option == "--timeout")
        return command == Command::Connect;
    return true;
}

std::optional<std::string>* valueSlot(std::string_view option, Options& options,
                                      std::optional<std::string>& connection, std::optional<std::string>& timeout)
{
    if (option == "--timeout")
        return &timeout;
    if (option == "--account")
        return &options.account;
    if (option == "--ip")
        return &options.ip;
    if (option == "--interface")
        return &options.interfaceName;
    if (option == "--keyfile")
        return &options.keyfile;
    return option == "--connection" ? &connection : nullptr;
}

bool* flagSlot(std::string_view option, Options& options)
{
    if (option == "--json")
        return &options.json;
    if (option == "--stdin-utf8")
        return &options.stdinUtf8;
    return option == "--password-stdin" ? &options.passwordFromStdin : nullptr;
}

// Seconds, from 1 to an hour: past that no logon is coming.
int timeoutFrom(const std::string& text)
{
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 1 || seconds > 3600)
        throw CliError(Problem::BadTimeout, text);
    return seconds;
}

void checkOptions(Options& options, const std::optional<std::string>& connection,
                  const std::optional<std::string>& timeout, const std::vector<std::string>& seen)
{
    if (options.interfaceName && !isInterfaceName(*options.interfaceName))
        throw CliError(Problem::BadInterfaceName, *options.interfaceName);
    if (connection && connection->empty())
        throw CliError(Problem::MissingValue, "--connection");
    if (connection && !IsPlainText(*connection))
        throw CliError(Problem::NotPlainText, "--connection");
    if (connection)
        options.connection = *connection;
    if (timeout)
        options.timeoutSeconds = timeoutFrom(*timeout);
    options.passwordFromStdin = options.passwordFromStdin || options.stdinUtf8;
    for (const std::string& option : seen) {
        if (!belongsTo(option, options.command))
            throw CliError(Problem::OptionNotForCommand, option);
    }
}

} // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments)
{
    Options options;
    const auto isHelp = [](const std::string& argument) { return argument == "-h" || argument == "--help"; };
    if (std::any_of(arguments.begin(), arguments.end(), isHelp))
        return options;
    bool commandSeen = false;
    std::optional<std::string> connection, timeout;
    std::vector<std::string> seen;
    for (std::size_t next = 0; next < arguments.size();) {
        const std::string& argument = arguments[next++];
        if (!argument.starts_with('-') || argument == "-") {
            if (commandSeen)
                throw CliError(Problem::UnexpectedArgument, argument);
            options.command = commandNamed(argument);
            commandSeen = true;
            continue;
        }
        if (isPasswordOption(argument))
            throw CliError(Problem::PasswordOnCommandLine);
        const auto equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        bool* flag = flagSlot(option, options);
        std::optional<std::string>* value = valueSlot(option, options, connection, timeout);
        if (flag != nullptr && equals == std::string::npos)
            *flag = true;
        else if (value != nullptr && equals != std::string::npos)
            *value = argument.substr(equals + 1);
        else if (value != nullptr && next < arguments.size())
            *value = arguments[next++];
        else
            throw CliError(value != nullptr ? Problem::MissingValue : Problem::UnknownOption,
                           value != nullptr ? option : argument);
        seen.push_back(option);
    }
    if (!commandSeen)
        throw CliError(Problem::MissingCommand);
    checkOptions(options, connection, timeout, seen);
    return options;
}

bool AsksForJson(const std::vector<std::string>& arguments)
{
    Options scratch;
    std::optional<std::string> connection, timeout;
    const auto takesValue = [&](std::string_view option) {
        return valueSlot(option, scratch, connection, timeout) != nullptr;
    };
    for (std::size_t next = 0; next < arguments.size(); ++next) {
        if (arguments[next] == "--json")
            return true;
        if (takesValue(arguments[next]))
            ++next;
    }
    return false;
}

} // namespace portauth::cli
