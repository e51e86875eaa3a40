#pragma once

#include <string>
#include <string_view>

#include "cli_error.h"

namespace portauth::cli {

enum class Language { English, Chinese };

// Chinese when the locale that governs messages (LC_ALL, else LC_MESSAGES,
// else LANG) is zh_CN.
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

// A mistake in the command line rather than a failure.
bool IsUsageError(Problem problem);

// One line, without the line break, that names the problem and its detail;
// for a usage error it points to --help.
std::string Describe(const CliError& error, Language language);

std::string HelpText(Language language);

} // namespace portauth::cli
