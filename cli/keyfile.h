#pragma once

#include <string>

#include "formats.h"

namespace portauth::cli {

// Writes the connection as a keyfile, mode 600 from the moment it exists,
// replacing `path` atomically. Only nothing or a keyfile may be at `path`:
// anything else is refused without being opened. A keyfile already there
// keeps its UUID, read as NetworkManager reads it, so NetworkManager sees
// the same connection updated.
void WriteKeyfile(const std::string& path, const WiredProfile& profile);

} // namespace portauth::cli
