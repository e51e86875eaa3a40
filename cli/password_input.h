#pragma once

#include <cstddef>
#include <functional>

#include "command_line.h"
#include "messages.h"
#include "secret_text.h"

namespace portauth::cli {

// Far beyond any password the digest accepts; only stops a runaway input.
inline constexpr std::size_t kLongestPasswordLine = std::size_t{1} << 20;

// The first line that `read` gives, without its LF or CR LF. `read` fills a
// buffer and returns the count, 0 at the end. Throws CliError(PasswordMissing)
// when nothing comes at all, CliError(PasswordTooLong) past
// kLongestPasswordLine.
SecretText<char> ReadSecretLine(const std::function<std::size_t(char*, std::size_t)>& read);

// UTF-8 to UTF-16 without leaving an unwiped copy behind. Throws
// CliError(PasswordNotUtf8).
SecretText<char16_t> SecretUtf16(const SecretText<char>& utf8);

// The password as the user gave it: one line of standard input, or typed on
// the terminal. Throws CliError(PasswordEmpty) for an empty one.
SecretText<char16_t> ReadPassword(const Options& options, Language language);

} // namespace portauth::cli
