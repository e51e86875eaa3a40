#include "password_input.h"

#include <algorithm>

#include "cli_error.h"
#include "platform.h"
#include "utf8.h"

namespace portauth::cli {

SecretText<char> ReadSecretLine(const std::function<std::size_t(char*, std::size_t)>& read)
{
    SecretText<char> line;
    SecretText<char> chunk(4096);
    for (bool ended = false, first = true; !ended; first = false) {
        const std::size_t count = read(chunk.data(), chunk.size());
        if (count == 0 && first)
            throw CliError(Problem::PasswordMissing);
        ended = count == 0;
        for (std::size_t i = 0; i < count && !ended; ++i) {
            ended = chunk[i] == '\n';
            if (!ended)
                line.push_back(chunk[i]);
        }
        if (line.size() > kLongestPasswordLine)
            throw CliError(Problem::PasswordTooLong);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

SecretText<char16_t> SecretUtf16(const SecretText<char>& utf8)
{
    SecretText<char16_t> text;
    if (!AppendUtf16({utf8.data(), utf8.size()}, text))
        throw CliError(Problem::PasswordNotUtf8);
    return text;
}

SecretText<char16_t> ReadPassword(const Options& options, Language language)
{
    SecretText<char16_t> password = options.passwordFromStdin ? ReadPasswordFromStandardInput(options.stdinUtf8)
                                                              : AskPasswordOnTerminal(language);
    // Notepad starts a UTF-8 file with a byte order mark, which no one means
    // as part of the password.
    if (options.passwordFromStdin && !password.empty() && password.front() == u'\uFEFF')
        password.erase(password.begin());
    // Bytes that look like UTF-16 read as UTF-8, most likely.
    if (std::find(password.begin(), password.end(), u'\0') != password.end())
        throw CliError(Problem::PasswordHasNul);
    if (password.empty())
        throw CliError(Problem::PasswordEmpty);
    return password;
}

} // namespace portauth::cli
