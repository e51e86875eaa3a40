#pragma once

#include <optional>
#include <string>
#include <vector>

namespace portauth::cli {

enum class Command { Help, Derive, WpaSupplicant, NetworkManager, Connect };

inline constexpr const char* kDefaultConnectionName = "PortAuth 802.1X";

// What the command line asked for. Texts are UTF-8, as given.
struct Options {
    Command command = Command::Help;
    std::optional<std::string> account;
    std::optional<std::string> ip;
    bool passwordFromStdin = false;
    bool stdinUtf8 = false; // the piped password is UTF-8 whatever the code page
    bool json = false;
    std::optional<std::string> interfaceName;
    std::string connection = kDefaultConnectionName;
    std::optional<std::string> keyfile;
    int timeoutSeconds = 30;
};

// The arguments after the program name; options may stand before or after
// the command. Throws CliError for every usage error.
Options ParseCommandLine(const std::vector<std::string>& arguments);

// Whether the arguments ask for JSON, told apart from a value that reads
// "--json": known even when they hold a usage error, which is then told as
// JSON too.
bool AsksForJson(const std::vector<std::string>& arguments);

} // namespace portauth::cli
