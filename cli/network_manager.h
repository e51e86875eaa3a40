#pragma once

#include <optional>
#include <string>

#include "formats.h"

namespace portauth::cli {

// The UUID of the running NetworkManager's connection of that name. Fails
// here, before anyone types a password, when nmcli or the daemon is missing.
std::optional<std::string> FindConnection(const std::string& name);

// Updates the connection `uuid` names, or creates one, through nmcli. The
// password reaches nmcli on its standard input, never as an argument.
void SaveWithNmcli(const WiredProfile& profile, std::optional<std::string> uuid);

// Writes the connection as a keyfile, mode 600 from the moment it exists,
// replacing `path` atomically. A keyfile already there keeps its UUID, so
// NetworkManager sees the same connection updated.
void WriteKeyfile(const std::string& path, const WiredProfile& profile);

} // namespace portauth::cli
