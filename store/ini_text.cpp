#include "ini_text.h"

#include "utf8.h"

namespace portauth::ini {
namespace {

constexpr auto npos = std::string_view::npos;

bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBreak(char c)
{
    return c == '\n' || c == '\r';
}

bool isPairedBreak(char first, char second)
{
    return isBreak(first) && isBreak(second) && first != second;
}

bool isHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view spaces = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == npos)
        return {};
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

// One line of the file. Whatever quotes or backslashes it holds, it ends at
// its line break, so that no stray character can take the lines after it
// into a value, or hide a group. ';' outside quotes starts a comment that
// runs to the end of the line.
struct Line {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t equals = npos;

    std::string_view in(std::string_view text) const { return text.substr(start, end - start); }
};

// Past blank lines, and comment lines with whatever they hold.
std::size_t nextContent(std::string_view text, std::size_t i)
{
    for (;;) {
        while (i < text.size() && isLineSpace(text[i]))
            ++i;
        if (i == text.size() || text[i] != ';')
            return i;
        while (i < text.size() && !isBreak(text[i]))
            ++i;
    }
}

bool nextLine(std::string_view text, std::size_t& pos, Line& line)
{
    line = Line{};
    std::size_t i = line.start = nextContent(text, pos);
    bool inQuotes = false;
    for (; i < text.size() && !isBreak(text[i]); ++i) {
        const char c = text[i];
        if (c == '=' && !inQuotes && line.equals == npos)
            line.equals = i;
        else if (c == '"')
            inQuotes = !inQuotes;
        else if (c == '\\' && i + 1 < text.size() && !isBreak(text[i + 1]))
            ++i;
        else if (c == ';' && !inQuotes)
            break;
    }
    pos = line.end = i;
    return line.end > line.start;
}

struct Found {
    bool hasEntry = false;
    Line entry;                   // the last one wins, as it always has
    std::size_t sectionEnd = npos; // end of the last line of the last such group
};

Found find(std::string_view text, std::string_view section, std::string_view key)
{
    std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    bool inSection = false;
    Found found;
    Line line;
    while (nextLine(text, pos, line)) {
        const std::string_view content = line.in(text);
        if (content.starts_with('[')) {
            const std::string_view name = content.substr(1, content.find(']') - 1);
            inSection = trimmed(name) == section;
        } else if (inSection && line.equals != npos
                   && trimmed(text.substr(line.start, line.equals - line.start)) == key) {
            found.hasEntry = true;
            found.entry = line;
        }
        if (inSection)
            found.sectionEnd = line.end;
    }
    return found;
}

char16_t simpleEscape(char c)
{
    switch (c) {
    case 'a': return u'\a';
    case 'b': return u'\b';
    case 'f': return u'\f';
    case 'n': return u'\n';
    case 'r': return u'\r';
    case 't': return u'\t';
    case 'v': return u'\v';
    case '"':
    case '?':
    case '\'':
    case '\\': return static_cast<char16_t>(c);
    default: return 0;
    }
}

// Digits of a numeric escape, as many as follow; the value wraps at 16 bits.
char16_t escapedNumber(std::string_view raw, std::size_t& i, unsigned base)
{
    char16_t value = 0;
    for (; i < raw.size(); ++i) {
        const char c = raw[i];
        const bool digit = base == 16 ? isHexDigit(static_cast<unsigned char>(c)) : c >= '0' && c <= '7';
        if (!digit)
            break;
        const unsigned digitValue = c <= '9' ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        value = static_cast<char16_t>(value * base + digitValue);
    }
    return value;
}

// Text the program writes with a marker in front: a leading '@' is doubled,
// and a text holding U+0000 is wrapped in "@String(...)".
std::u16string withoutMarker(std::u16string text)
{
    if (text.starts_with(u"@String(") && text.ends_with(u')'))
        return text.substr(8, text.size() - 9);
    if (text.starts_with(u"@@"))
        return text.substr(1);
    return text;
}

// A value as it stands, with the quotes and escapes the program writes
// undone; a backslash that starts none is an ordinary character. A comma is
// one too. Outer spaces count only inside quotes.
std::u16string unescaped(std::string_view raw)
{
    std::u16string out;
    std::size_t plainStart = npos;
    std::size_t keptLength = 0; // what trailing spaces may not be cut below
    bool quoted = false;
    bool inQuotes = false;
    auto flushPlain = [&](std::size_t end) {
        if (plainStart != npos)
            AppendUtf16(raw.substr(plainStart, end - plainStart), out);
        plainStart = npos;
    };
    auto skipSpaces = [&](std::size_t i) {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        return i;
    };

    std::size_t i = skipSpaces(0);
    while (i < raw.size()) {
        const char c = raw[i];
        if (c != '"' && c != '\\') {
            if (plainStart == npos)
                plainStart = i;
            ++i;
            continue;
        }
        flushPlain(i++);
        if (c == '"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                i = skipSpaces(i);
            continue;
        }
        if (i == raw.size()) {
            out += u'\\';
            break;
        }
        const char escape = raw[i++];
        if (const char16_t simple = simpleEscape(escape)) {
            out += simple;
        } else if (escape == 'x' && i < raw.size() && isHexDigit(static_cast<unsigned char>(raw[i]))) {
            out += escapedNumber(raw, i, 16);
        } else if (escape >= '0' && escape <= '7') {
            out += escapedNumber(raw, --i, 8);
        } else {
            // No escape, as in a hand-written "CAMPUS\zhang": the backslash
            // stands, and so does what follows it, a space too.
            out += u'\\';
            if (escape == ' ' || escape == '\t')
                out += static_cast<char16_t>(escape);
            else
                --i;
        }
        keptLength = out.size();
    }
    flushPlain(raw.size());
    if (!quoted) {
        while (out.size() > keptLength && (out.back() == u' ' || out.back() == u'\t'))
            out.pop_back();
    }
    return withoutMarker(std::move(out));
}

std::string hexEscape(char16_t c)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned value = c; value != 0 || hex.empty(); value >>= 4)
        hex.insert(hex.begin(), digits[value & 0xF]);
    return "\\x" + hex;
}

// The escaping the program has always written, so that files it wrote
// before and after read the same.
std::string escaped(std::u16string_view value)
{
    std::u16string text(value);
    if (text.find(u'\0') != std::u16string::npos)
        text = u"@String(" + text + u")";
    else if (text.starts_with(u'@'))
        text.insert(text.begin(), u'@');

    std::string out;
    bool needsQuotes = false;
    bool escapeHexDigit = false; // a digit after a numeric escape would join it
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        needsQuotes = needsQuotes || c == u';' || c == u',' || c == u'=';
        if (escapeHexDigit && isHexDigit(c)) {
            out += hexEscape(c);
            continue;
        }
        escapeHexDigit = false;
        switch (c) {
        case u'\0': out += "\\0"; escapeHexDigit = true; break;
        case u'\a': out += "\\a"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'\v': out += "\\v"; break;
        case u'"':
        case u'\\':
            out += '\\';
            out += static_cast<char>(c);
            break;
        default:
            if (c <= 0x1F) {
                out += hexEscape(c);
                escapeHexDigit = true;
            } else {
                AppendUtf8(out, CodePointAt(text, i));
            }
        }
    }
    if (needsQuotes || out.starts_with(' ') || out.ends_with(' '))
        return '"' + out + '"';
    return out;
}

std::size_t pastLineBreak(std::string_view text, std::size_t i)
{
    while (i < text.size() && !isBreak(text[i]))
        ++i;
    if (i < text.size())
        ++i;
    if (i < text.size() && isPairedBreak(text[i - 1], text[i]))
        ++i;
    return i;
}

} // namespace

std::optional<std::u16string> FindValue(std::string_view text, std::string_view section, std::string_view key)
{
    const Found found = find(text, section, key);
    if (!found.hasEntry)
        return std::nullopt;
    const Line& entry = found.entry;
    return unescaped(text.substr(entry.equals + 1, entry.end - entry.equals - 1));
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::u16string_view value)
{
    const Found found = find(text, section, key);
    const std::string entry = std::string(key) + '=' + escaped(value);
    std::string result(text);
    if (found.hasEntry) {
        std::size_t end = found.entry.end;
        while (end > found.entry.equals + 1 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
            --end;
        return result.replace(found.entry.start, end - found.entry.start, entry);
    }

    const std::string newline = text.find("\r\n") != npos ? "\r\n" : "\n";
    const bool endsInBreak = text.empty() || isBreak(text.back());
    if (found.sectionEnd != npos) {
        const std::size_t at = pastLineBreak(text, found.sectionEnd);
        const std::string lead = at == text.size() && !endsInBreak ? newline : "";
        return result.insert(at, lead + entry + newline);
    }
    if (!text.empty())
        result += endsInBreak ? newline : newline + newline;
    return result + '[' + std::string(section) + ']' + newline + entry + newline;
}

} // namespace portauth::ini
