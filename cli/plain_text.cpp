#include "plain_text.h"

#include <algorithm>
#include <cstdint>

#include "formats.h"
#include "utf8.h"

namespace portauth::cli {
namespace {

std::u16string escaped(std::uint8_t byte)
{
    const std::string hex = "\\x" + Hex({reinterpret_cast<const char*>(&byte), 1});
    return {hex.begin(), hex.end()};
}

} // namespace

bool IsControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool IsPlainText(std::string_view utf8)
{
    std::u16string text;
    return AppendUtf16(utf8, text) && std::none_of(text.begin(), text.end(), IsControlCharacter);
}

std::string Printable(std::string_view text)
{
    std::u16string wide, shown;
    const bool utf8 = AppendUtf16(text, wide);
    if (!utf8) { // each byte alone, so the bad ones show as \xNN
        wide.clear();
        for (const char c : text)
            wide += static_cast<std::uint8_t>(c);
    }
    for (const char16_t c : wide) {
        const bool hidden = IsControlCharacter(c) || (!utf8 && c >= 0x80);
        shown += hidden ? escaped(static_cast<std::uint8_t>(c)) : std::u16string(1, c);
    }
    return ToUtf8(shown);
}

} // namespace portauth::cli
