#pragma once

#include <string>

#include "formats.h"

namespace portauth::cli {

// The UUID for the keyfile at `path`: the one of the keyfile already there,
// read as NetworkManager reads it, so that NetworkManager sees the same
// connection updated, else a new one. Only nothing or a keyfile may be at
// `path`: anything else is refused without being opened.
std::string KeyfileUuid(const std::string& path);

// Writes the connection as a keyfile, mode 600 from the moment it exists,
// replacing `path` atomically.
void WriteKeyfile(const std::string& path, const WiredProfile& profile, const std::string& uuid);

} // namespace portauth::cli
