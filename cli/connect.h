#pragma once

#include <functional>
#include <string>

#include "command_line.h"
#include "formats.h"
#include "messages.h"

namespace portauth::cli {

// The connect command: the profile saved in memory, brought up and
// followed; written to disk once the connection is up, and otherwise taken
// back as it was. `profile` gives the settings once the checks have passed,
// so that no one types a password in vain. Gives the interface it came up
// on; every other outcome is a CliError.
std::string Connect(const Options& options, const std::function<WiredProfile()>& profile, Language language);

// The networkmanager command: the profile created or updated on disk at once.
void SaveProfile(const Options& options, const std::function<WiredProfile()>& profile);

} // namespace portauth::cli
