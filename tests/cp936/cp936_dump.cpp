// Prints what code page 936 makes of every single UTF-16 code unit, then of
// texts with surrogates, one line each ("4E2D : D6 D0"). Built for Windows
// it asks the system's own conversion, built elsewhere this project's, so
// the two outputs must be equal byte for byte.

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include "ansi_codepage.h"
#endif

namespace {

std::string Encode(const std::u16string& text)
{
#ifdef _WIN32
    // Flags 0, as the password is converted: best fit, and the code page's
    // default character for what has no mapping.
    std::string bytes(2 * text.size(), '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(936, 0, reinterpret_cast<const wchar_t*>(text.data()),
        static_cast<int>(text.size()), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
#else
    const portauth::AnsiBytes ansi = portauth::ToAnsiCodePage(text);
    return {ansi.bytes().begin(), ansi.bytes().end()};
#endif
}

void Print(const std::u16string& text)
{
    for (const char16_t unit : text)
        std::printf("%04X ", static_cast<unsigned>(unit));
    std::printf(":");
    for (const char byte : Encode(text))
        std::printf(" %02X", static_cast<unsigned>(static_cast<unsigned char>(byte)));
    std::printf("\n");
}

} // namespace

int main()
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // text mode would write "\r\n"
#endif
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit)
        Print(std::u16string(1, static_cast<char16_t>(unit)));
    // Surrogates paired, unpaired, reversed and at either end, among ASCII,
    // Chinese, the euro sign and best-fit replacements.
    for (const std::u16string& text : std::initializer_list<std::u16string>{
             {0x61, 0xD83D, 0xDE00, 0x62}, {0xD83D, 0xDE00}, {0xDBFF, 0xDFFF}, {0xD800, 0xDC00, 0xD800},
             {0xD800, 0xD800}, {0xDC00, 0xD800}, {0x61, 0xD800}, {0xDC00, 0x61}, {0x4E2D, 0xD840, 0xDC00, 0x6587},
             {0x20AC, 0xA5, 0xD83D, 0x41, 0x2F00, 0xFFFD}, {0xA2, 0xDC00, 0xF913, 0xB2, 0xD83D, 0xDE00, 0x3236}})
        Print(text);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
