#pragma once

#include <string>
#include <string_view>

#include "numbered_error.h"

namespace portauth {

// The 802.1X user name: account and IP address, each without the ASCII
// spaces at its ends, joined by "@". Nothing else is touched: tabs and the
// ideographic space stay, and empty parts are accepted.
std::u16string LogonUserName(std::u16string_view account, std::u16string_view ip);

// The 802.1X password: lowercase hex MD5 of the text's ANSI (GBK) bytes.
// Throws NumberedError(Overflow) when those bytes exceed one digest update.
std::string MD5String(std::u16string_view S);

} // namespace portauth
