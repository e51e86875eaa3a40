#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "formats.h"

namespace portauth::cli {

// The UUID for the keyfile at `path`: the one of the keyfile already there,
// read as NetworkManager reads it, so that NetworkManager sees the same
// connection updated, else a new one. Only nothing or a keyfile may be at
// `path`: anything else is refused without being opened.
std::string KeyfileUuid(const std::string& path);

// What a keyfile's text says of its connection, read by GLib's rules, as
// NetworkManager reads it: whether it is a keyfile of a connection at all,
// and its UUID when it has a valid one.
struct KeyfileIdentity {
    bool isConnection = false;
    std::optional<std::string> uuid;
};
KeyfileIdentity ReadKeyfile(std::string_view text);

// Writes the connection as a keyfile, mode 600 from the moment it exists,
// replacing `path` atomically.
void WriteKeyfile(const std::string& path, const WiredProfile& profile, const std::string& uuid);

} // namespace portauth::cli
