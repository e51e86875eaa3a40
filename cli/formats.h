#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "logon_values.h"

namespace portauth::cli {

// User name, password and the empty domain, one a line.
std::string PlainValues(const LogonValues& values);

// {"username": ..., "password": ..., "domain": ""} on one line.
std::string JsonValues(const LogonValues& values);
std::string JsonString(std::string_view utf8);

// A complete configuration for `wpa_supplicant -D wired -c FILE`.
std::string WpaSupplicantConfig(std::string_view identity, std::string_view password,
                                const std::optional<std::string>& interfaceName);

// A string value for a wpa_supplicant configuration: quoted when its quoted
// form carries the bytes unchanged, otherwise the hex form.
std::string WpaSupplicantString(std::string_view bytes);

struct KeyfileConnection {
    std::string name;
    std::string uuid;
    std::optional<std::string> interfaceName;
    std::string identity;
    std::string password;
};

// A NetworkManager keyfile for a wired connection that logs on with EAP-MD5.
std::string NetworkManagerKeyfile(const KeyfileConnection& connection);

// A value as GLib's key files escape it, so that NetworkManager reads it
// back unchanged.
std::string KeyfileString(std::string_view utf8);

} // namespace portauth::cli
