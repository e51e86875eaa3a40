#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "secret_text.h"

// What differs between the POSIX and the Windows build.
namespace portauth::cli {

// The arguments after the program name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

Language MessageLanguage();

// Asks on the terminal, without echo, and gives back what was typed.
// Throws CliError(NoTerminal) when there is no terminal to ask on.
SecretText<char16_t> AskPasswordOnTerminal(Language language);

// The first line of standard input. Windows reads a console as UTF-16, and
// a pipe in the console's code page (else the ANSI one) unless `utf8`.
// Throws CliError(PasswordUnreadable) on a read error.
SecretText<char16_t> ReadPasswordFromStandardInput(bool utf8);

// Throws CliError(OutputFailed) when the output cannot be written.
void WriteOutput(std::string_view utf8);

void WriteError(std::string_view utf8) noexcept;

} // namespace portauth::cli
