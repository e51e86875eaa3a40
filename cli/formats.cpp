#include "formats.h"

#include <algorithm>
#include <cstdint>

namespace portauth::cli {
namespace {

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<std::uint8_t>(c) < 0x20 || c == 0x7F)
            out += "\\u00" + Hex({&c, 1});
        else
            out += c;
    }
    return out + '"';
}

// The quoted form ends at a line break and has no escapes, and a quote
// inside it depends on how the reader pairs quotes: only printable ASCII
// without '"' is certain to come back unchanged. Anything else goes in the
// hex form.
std::string wpaSupplicantString(std::string_view bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= ' ' && c <= '~' && c != '"'; }))
        return '"' + std::string(bytes) + '"';
    return Hex(bytes);
}

// A value as GLib's key files escape it, so that NetworkManager reads it
// back unchanged.
std::string keyfileString(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        switch (utf8[i]) {
        case ' ': out += i == 0 ? "\\s" : " "; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += utf8[i];
        }
    }
    return out;
}

} // namespace

std::string Hex(std::string_view bytes)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

std::string PlainValues(std::string_view userName, std::string_view password)
{
    return std::string(userName) + '\n' + std::string(password) + "\n\n";
}

std::string JsonValues(std::string_view userName, std::string_view password)
{
    return "{\"username\":" + jsonString(userName) + ",\"password\":" + jsonString(password) +
           ",\"domain\":\"\"}\n";
}

std::string JsonOutcome(std::string_view outcome, std::string_view message)
{
    return "{\"outcome\":" + jsonString(outcome) + ",\"message\":" + jsonString(message) + "}\n";
}

std::string WpaSupplicantConfig(std::string_view identity, std::string_view password,
                                const std::optional<std::string>& interfaceName)
{
    return "# Wired 802.1X with EAP-MD5, written by portauth-cli. It holds the derived\n"
           "# logon password: keep it readable by root only. Use it with\n"
           "#   wpa_supplicant -D wired -i " + interfaceName.value_or("INTERFACE") + " -c FILE\n"
           "ctrl_interface=/run/wpa_supplicant\n"
           "ap_scan=0\n"
           "network={\n"
           "\tkey_mgmt=IEEE8021X\n"
           "\teap=MD5\n"
           "\tidentity=" + wpaSupplicantString(identity) + "\n"
           "\tpassword=" + wpaSupplicantString(password) + "\n"
           "\teapol_flags=0\n"
           "}\n";
}

std::string NetworkManagerKeyfile(const WiredProfile& profile, std::string_view uuid)
{
    std::string text = "[connection]\nid=" + keyfileString(profile.name) + "\nuuid=" + std::string(uuid) +
                       "\ntype=ethernet\n";
    if (profile.interfaceName)
        text += "interface-name=" + *profile.interfaceName + '\n';
    return text + "\n[ethernet]\n\n[802-1x]\neap=md5;\nidentity=" + keyfileString(profile.identity) +
           "\npassword=" + keyfileString(profile.password) +
           "\n\n[ipv4]\nmethod=auto\n\n[ipv6]\naddr-gen-mode=default\nmethod=auto\n\n[proxy]\n";
}

} // namespace portauth::cli
