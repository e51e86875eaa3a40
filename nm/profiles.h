#pragma once

#include <optional>
#include <string>

#include "formats.h"
#include "libnm_calls.h"

// Which profile and device a run may take, checked before anything is
// written, and the settings it writes.
namespace portauth::nm {

// None, or the one wired profile of that name: of two, which one the user
// meant is not for this program to guess.
NMRemoteConnection* ExistingProfile(NMClient* client, const std::string& name);

// --interface, which must be an Ethernet device NetworkManager manages;
// without it, the device the profile is bound to, else the one such device
// (the one with a link, of several).
NMDevice* ChosenDevice(NMClient* client, const std::optional<std::string>& interfaceName,
                       NMRemoteConnection* profile);

bool HasCarrier(NMDevice* device);

// What is up on the device now, to bring up again should the run fail.
NMRemoteConnection* UpOn(NMDevice* device);

// The profile as it is to be saved: the earlier one's settings, or a new
// one's, with what the logon needs.
NMConnection* ProfileConnection(NMRemoteConnection* existing, const cli::WiredProfile& profile);

// Creates the profile, or updates the earlier one, on disk or in memory.
Owned<NMRemoteConnection> Write(NMClient* client, NMRemoteConnection* existing, GVariant* settings, bool toDisk,
                                const Deadline& deadline, const std::string& name);

} // namespace portauth::nm
