#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text of the settings file: groups of "key=value" lines. Values are
// read with the escapes the program has always written, and a save changes
// the bytes of one entry only, so whatever else a hand-edited file holds
// stays exactly as it was.
namespace portauth::ini {

// The value of `key` in group `section`; nothing when either is absent.
// Group and key names are UTF-8.
std::optional<std::u16string> FindValue(std::string_view text, std::string_view section, std::string_view key);

// `text` with `key` in `section` set to `value`, adding the entry, and the
// group, when absent.
std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::u16string_view value);

} // namespace portauth::ini
