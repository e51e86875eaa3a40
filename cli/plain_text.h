#pragma once

#include <string>
#include <string_view>

namespace portauth::cli {

// C0 and C1 control characters and DEL: they steer a terminal, end a line
// in a configuration file, or hide what a name really is.
bool IsControlCharacter(char32_t c);

// Valid UTF-8 without control characters.
bool IsPlainText(std::string_view utf8);

// `text` made safe to show on a terminal: control characters and bytes that
// are not UTF-8 are written as \xNN.
std::string Printable(std::string_view text);

} // namespace portauth::cli
