#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace portauth::cli {

// User name, password and the empty domain, one a line.
std::string PlainValues(std::string_view userName, std::string_view password);

// {"username": ..., "password": ..., "domain": ""} on one line.
std::string JsonValues(std::string_view userName, std::string_view password);

// {"outcome": ..., "message": ...} on one line.
std::string JsonOutcome(std::string_view outcome, std::string_view message);

// A complete configuration for `wpa_supplicant -D wired -c FILE`.
std::string WpaSupplicantConfig(std::string_view identity, std::string_view password,
                                const std::optional<std::string>& interfaceName);

struct WiredProfile {
    std::string name;
    std::optional<std::string> interfaceName;
    std::string identity; // UTF-8
    std::string password; // the derived one
};

// A NetworkManager keyfile for a wired connection that logs on with EAP-MD5.
std::string NetworkManagerKeyfile(const WiredProfile& profile, std::string_view uuid);

// Two lowercase hex digits a byte.
std::string Hex(std::string_view bytes);

} // namespace portauth::cli
