#include "command_line.h"

#include <algorithm>
#include <string_view>

#include "cli_error.h"

namespace portauth::cli {
namespace {

struct CommandName {
    std::string_view name;
    Command command;
};

constexpr CommandName kCommands[] = {
    {"derive", Command::Derive},
    {"wpa-supplicant", Command::WpaSupplicant},
#ifndef _WIN32
    {"networkmanager", Command::NetworkManager},
#endif
};

Command commandNamed(std::string_view name)
{
    for (const CommandName& entry : kCommands) {
        if (entry.name == name)
            return entry.command;
    }
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

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    Options parse()
    {
        if (std::any_of(arguments_.begin(), arguments_.end(),
                        [](const std::string& a) { return a == "-h" || a == "--help"; }))
            return {};
        while (next_ < arguments_.size())
            take(arguments_[next_++]);
        if (!commandSeen_)
            throw CliError(Problem::MissingCommand);
        checkOptionsBelong();
        return options_;
    }

private:
    void take(const std::string& argument)
    {
        if (!argument.starts_with("-") || argument == "-") {
            if (commandSeen_)
                throw CliError(Problem::UnexpectedArgument, argument);
            options_.command = commandNamed(argument);
            commandSeen_ = true;
            return;
        }
        if (isPasswordOption(argument))
            throw CliError(Problem::PasswordOnCommandLine);
        const auto equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::optional<std::string> inlineValue =
            equals == std::string::npos ? std::nullopt : std::optional(argument.substr(equals + 1));
        if (name == "--password-stdin" || name == "--json") {
            if (inlineValue)
                throw CliError(Problem::UnknownOption, argument);
            (name == "--json" ? options_.json : options_.passwordFromStdin) = true;
            seen_.push_back(name);
            return;
        }
        std::optional<std::string>* slot = valueSlot(name);
        if (slot == nullptr)
            throw CliError(Problem::UnknownOption, argument);
        *slot = inlineValue ? *inlineValue : value(name);
        seen_.push_back(name);
    }

    std::optional<std::string>* valueSlot(const std::string& name)
    {
        if (name == "--account")
            return &options_.account;
        if (name == "--ip")
            return &options_.ip;
        if (name == "--interface")
            return &options_.interfaceName;
        if (name == "--connection")
            return &connection_;
        if (name == "--keyfile")
            return &options_.keyfile;
        return nullptr;
    }

    std::string value(const std::string& name)
    {
        if (next_ >= arguments_.size())
            throw CliError(Problem::MissingValue, name);
        return arguments_[next_++];
    }

    void checkOptionsBelong()
    {
        if (options_.interfaceName && !isInterfaceName(*options_.interfaceName))
            throw CliError(Problem::BadInterfaceName, *options_.interfaceName);
        if (connection_) {
            if (connection_->empty())
                throw CliError(Problem::MissingValue, "--connection");
            options_.connection = *connection_;
        }
        for (const std::string& name : seen_) {
            if (!belongs(name))
                throw CliError(Problem::OptionNotForCommand, name);
        }
    }

    bool belongs(std::string_view name) const
    {
        switch (options_.command) {
        case Command::Derive:
            return name != "--interface" && name != "--connection" && name != "--keyfile";
        case Command::WpaSupplicant:
            return name != "--json" && name != "--connection" && name != "--keyfile";
        case Command::NetworkManager:
            return name != "--json";
        case Command::Help:
            break;
        }
        return true;
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    bool commandSeen_ = false;
    Options options_;
    std::optional<std::string> connection_;
    std::vector<std::string> seen_;
};

} // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments)
{
    return Parser(arguments).parse();
}

} // namespace portauth::cli
