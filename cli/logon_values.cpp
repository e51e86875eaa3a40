#include "logon_values.h"

#include <algorithm>

#include "ansi_codepage.h"
#include "cli_error.h"
#include "logon_rules.h"

namespace portauth::cli {

LogonValues DeriveLogonValues(std::u16string_view account, std::u16string_view ip,
                              std::u16string_view password)
{
    LogonValues values{LogonUserName(account, ip), {}};
    try {
        values.password = MD5String(password);
    } catch (const NumberedError& error) {
        if (error.number() == ErrorNumber::Overflow)
            throw CliError(Problem::PasswordTooLong);
        throw;
    }
    return values;
}

std::string IdentityBytes(std::u16string_view userName)
{
    const AnsiBytes ansi = ToAnsiCodePage(userName);
    const auto bytes = ansi.bytes();
    return std::string(bytes.begin(), bytes.end());
}

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace portauth::cli
