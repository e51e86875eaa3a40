#pragma once

#include <string>
#include <string_view>

namespace portauth::cli {

// The three values of the 802.1X logon dialog; the domain is always empty.
struct LogonValues {
    std::u16string userName;
    std::string password; // 32 lowercase hex digits
};

// Throws CliError(PasswordTooLong) for error 6 of the digest.
LogonValues DeriveLogonValues(std::u16string_view account, std::u16string_view ip,
                              std::u16string_view password);

// The bytes the identity takes on the wire. The Windows supplicant these
// networks were set up for sends the user name in the system's ANSI code
// page, the same conversion the password is hashed in, so this is GBK; for
// the usual account@address it is plain ASCII and the question never arises.
std::string IdentityBytes(std::u16string_view userName);

bool IsAscii(std::string_view bytes);

} // namespace portauth::cli
