#include "formats.h"

#include <algorithm>
#include <cstdint>

#include "utf.h"

namespace portauth::cli {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void appendHexByte(std::string& out, std::uint8_t byte)
{
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

// The quoted form ends at a line break and has no escapes, and a quote
// inside it depends on how the reader pairs quotes: only printable ASCII
// without '"' is certain to come back unchanged.
bool fitsQuotedForm(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= ' ' && c <= '~' && c != '"'; });
}

} // namespace

std::string PlainValues(const LogonValues& values)
{
    return Utf8FromUtf16(values.userName) + '\n' + values.password + "\n\n";
}

std::string JsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            appendHexByte(out, byte);
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string JsonValues(const LogonValues& values)
{
    return "{\"username\":" + JsonString(Utf8FromUtf16(values.userName)) +
           ",\"password\":" + JsonString(values.password) + ",\"domain\":\"\"}\n";
}

std::string WpaSupplicantString(std::string_view bytes)
{
    if (fitsQuotedForm(bytes))
        return '"' + std::string(bytes) + '"';
    std::string hex;
    for (const char c : bytes)
        appendHexByte(hex, static_cast<std::uint8_t>(c));
    return hex;
}

std::string WpaSupplicantConfig(std::string_view identity, std::string_view password,
                                const std::optional<std::string>& interfaceName)
{
    return "# Wired 802.1X with EAP-MD5, written by portauth-cli. It holds the derived\n"
           "# logon password: keep it readable by root only. Use it with\n"
           "#   wpa_supplicant -D wired -i " +
           interfaceName.value_or("INTERFACE") +
           " -c FILE\n"
           "ctrl_interface=/run/wpa_supplicant\n"
           "ap_scan=0\n"
           "network={\n"
           "\tkey_mgmt=IEEE8021X\n"
           "\teap=MD5\n"
           "\tidentity=" +
           WpaSupplicantString(identity) +
           "\n"
           "\tpassword=" +
           WpaSupplicantString(password) +
           "\n"
           "\teapol_flags=0\n"
           "}\n";
}

std::string KeyfileString(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        switch (utf8[i]) {
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += utf8[i];
        }
    }
    return out;
}

std::string NetworkManagerKeyfile(const KeyfileConnection& connection)
{
    std::string text = "[connection]\nid=" + KeyfileString(connection.name) + "\nuuid=" + connection.uuid +
                       "\ntype=ethernet\n";
    if (connection.interfaceName)
        text += "interface-name=" + *connection.interfaceName + '\n';
    return text + "\n[ethernet]\n\n[802-1x]\neap=md5;\nidentity=" + KeyfileString(connection.identity) +
           "\npassword=" + KeyfileString(connection.password) +
           "\n\n[ipv4]\nmethod=auto\n\n[ipv6]\naddr-gen-mode=default\nmethod=auto\n\n[proxy]\n";
}

} // namespace portauth::cli
