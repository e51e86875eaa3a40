#pragma once

#include <string>

namespace portauth::cli {

enum class RememberedInput { Account, IP };

// What the window remembers for that box; the empty text when nothing is.
// Throws CliError(StoreUnreadable) when the store cannot be read.
std::u16string Remembered(RememberedInput input);

} // namespace portauth::cli
