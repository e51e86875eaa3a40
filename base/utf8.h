#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace portauth {

// Appends the UTF-16 form of `utf8` to `out`, one unit at a time, so `out`
// may be a buffer that is wiped after use. Each ill-formed sequence becomes
// one U+FFFD (its maximal part, as Unicode recommends). Returns whether all
// of it was well-formed: overlong forms, surrogates and values past U+10FFFF
// are not.
template <class Sink>
bool AppendUtf16(std::string_view utf8, Sink& out)
{
    bool wellFormed = true;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i++]);
        if (lead < 0x80) {
            out.push_back(static_cast<char16_t>(lead));
            continue;
        }
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = lead & (0x7Fu >> length);
        std::uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        std::uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (lead < 0xC2 || lead > 0xF4)
            length = 1;
        std::size_t taken = 1;
        for (; taken < length && i < utf8.size(); ++taken, ++i) {
            const auto next = static_cast<std::uint8_t>(utf8[i]);
            if (next < low || next > high)
                break;
            c = c << 6 | (next & 0x3Fu);
            low = 0x80;
            high = 0xBF;
        }
        if (taken < length || length == 1) {
            wellFormed = false;
            out.push_back(u'\uFFFD');
        } else if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return wellFormed;
}

// The code point at text[i], taking a surrogate pair whole (i moves onto
// its second half); a lone surrogate is U+FFFD.
char32_t CodePointAt(std::u16string_view text, std::size_t& i);
void AppendUtf8(std::string& out, char32_t c);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; each ill-formed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view bytes);

} // namespace portauth
