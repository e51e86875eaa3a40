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

// Reads up to `size` bytes of standard input: the count, 0 at its end.
// Throws CliError(PasswordUnreadable) on a read error.
std::size_t ReadStandardInput(char* buffer, std::size_t size);

// Throws CliError(OutputFailed) when the output cannot be written.
void WriteOutput(std::string_view utf8);

void WriteError(std::string_view utf8) noexcept;

} // namespace portauth::cli
