#include "utf8.h"

namespace portauth {

char32_t CodePointAt(std::u16string_view text, std::size_t& i)
{
    const char16_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF)
        return c;
    const bool pairs = c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (!pairs)
        return u'\uFFFD';
    ++i;
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i]) - 0xDC00);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        AppendUtf8(out, CodePointAt(text, i));
    return out;
}

std::u16string FromUtf8(std::string_view bytes)
{
    std::u16string text;
    AppendUtf16(bytes, text);
    return text;
}

} // namespace portauth
