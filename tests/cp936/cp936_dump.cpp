// Prints what code page 936 makes of UTF-16 texts, one line per text: its
// code units in hex, a colon, then the bytes in hex ("4E2D: D6 D0").
// Without arguments the texts are the 65,536 single code units; otherwise
// each argument is one text, its code units in hex separated by commas
// ("61,D83D,DE00,62").
//
// Built for Windows it asks the system's own conversion for code page 936;
// built elsewhere it asks this project's stand-in for it, so the two
// outputs must be equal byte for byte.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include "ansi_codepage.h"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

#ifdef _WIN32

// Flags 0, as the ANSI conversion of a password is made: best fit on, and
// the code page's own default character for what has no mapping.
Bytes Encode(std::u16string_view text)
{
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(936, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(936, 0, wide, length, bytes.data(), needed, nullptr, nullptr);
    return Bytes(bytes.begin(), bytes.begin() + (written > 0 ? written : 0));
}

#else

Bytes Encode(std::u16string_view text)
{
    const portauth::AnsiBytes ansi = portauth::ToAnsiCodePage(text);
    return Bytes(ansi.bytes().begin(), ansi.bytes().end());
}

#endif

void Print(std::u16string_view text)
{
    std::string line;
    char hex[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%04X" : ",%04X", static_cast<unsigned>(text[i]));
        line += hex;
    }
    line += ':';
    for (const std::uint8_t byte : Encode(text)) {
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(byte));
        line += hex;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::u16string ParseUnits(const char* argument)
{
    std::u16string text;
    for (const char* at = argument; *at != '\0';) {
        char* end = nullptr;
        const unsigned long unit = std::strtoul(at, &end, 16);
        if (end == at || unit > 0xFFFF) {
            std::fprintf(stderr, "not a list of hex code units: %s\n", argument);
            std::exit(2);
        }
        text += static_cast<char16_t>(unit);
        at = *end == ',' ? end + 1 : end;
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Text mode would turn every "\n" into "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc == 1) {
        for (char32_t unit = 0; unit <= 0xFFFF; ++unit)
            Print(std::u16string(1, static_cast<char16_t>(unit)));
    }
    for (int i = 1; i < argc; ++i)
        Print(ParseUnits(argv[i]));
    return std::fflush(stdout) == 0 ? 0 : 1;
}
