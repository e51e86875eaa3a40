// A settings file's text, whatever it holds, reads without a crash or a
// hang. A save of Username or IP, whatever the value holds, reads back
// exactly, and the other key reads as before. The save changes the bytes of
// one line at most and adds the rest: every other line stays as it was, in
// order. A save adds the group only when the file had none the reader could
// find, so a second save adds nothing. A failed check aborts, and the fuzzer
// reports the line.

#include "ini_text.h"
#include "utf8.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cassert>
#include <string>

namespace {

using namespace portauth::ini;

constexpr std::string_view kGroup = "PortAuth";

// Any code point a user could type; ill-formed bytes come in as U+FFFD.
std::u16string ValueOf(FuzzedDataProvider& input)
{
    return portauth::FromUtf8(input.ConsumeRandomLengthString(48));
}

// True when `after` is `before` with the bytes of one line at most replaced
// or more bytes put in.
bool ChangesOneLineAtMost(std::string_view before, std::string_view after)
{
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::string_view replaced = before.substr(prefix, before.size() - prefix - suffix);
    return replaced.find_first_of("\r\n") == std::string_view::npos;
}

// Lines that open the group: "[PortAuth]" after the line's leading blanks.
std::size_t GroupHeadings(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::string_view line = text.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" \t");
        count += first != std::string_view::npos && line.substr(first).starts_with("[PortAuth]");
        start = end + 1;
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool savesIp = input.ConsumeBool();
    const std::string_view key = savesIp ? "IP" : "Username";
    const std::string_view otherKey = savesIp ? "Username" : "IP";
    const std::u16string value = ValueOf(input);
    const std::string before = input.ConsumeRemainingBytesAsString();

    const auto otherBefore = FindValue(before, kGroup, otherKey);
    const std::string saved = WithValue(before, kGroup, key, value);
    assert(FindValue(saved, kGroup, key) == value);
    assert(FindValue(saved, kGroup, otherKey) == otherBefore);
    assert(ChangesOneLineAtMost(before, saved));
    assert(GroupHeadings(saved) <= GroupHeadings(before) + 1);

    const std::string savedTwice = WithValue(saved, kGroup, otherKey, value);
    assert(FindValue(savedTwice, kGroup, key) == value && FindValue(savedTwice, kGroup, otherKey) == value);
    assert(GroupHeadings(savedTwice) == GroupHeadings(saved));
    return 0;
}
