#pragma once

#include <string>
#include <string_view>

#include "cli_error.h"

namespace portauth::cli {

enum class Language { English, Chinese };

// Chinese when the locale that governs messages (LC_ALL, else LC_MESSAGES,
// else LANG) is zh_CN.
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

// Each outcome of connect has an exit status of its own.
inline constexpr int kPasswordRefused = 3;
inline constexpr int kNoAuthenticator = 4;
inline constexpr int kDeviceUnavailable = 5;
inline constexpr int kNetworkManagerNotRunning = 6;
inline constexpr int kTimedOut = 7;
// No logon, and the cause was not seen: only root and the group netdev hear
// the supplicant tell a refused password from a silent port.
inline constexpr int kNoLogonSeen = 8;

// 2 for a mistake in the command line, 1 for other failures, and the
// codes above.
int ExitCode(Problem problem);

// How connect --json names the outcome: "error" for all but the outcomes
// above.
std::string_view OutcomeName(Problem problem);

// One line, without the line break, that names the problem and its detail;
// for a usage error it points to --help.
std::string Describe(const CliError& error, Language language);
// The same without the program's name in front, to stand inside another.
std::string Explain(const CliError& error, Language language);

std::string HelpText(Language language);

// The line that tells that connect came up.
std::string ConnectedText(std::string_view connection, std::string_view interfaceName, Language language);

} // namespace portauth::cli
