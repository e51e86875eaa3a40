#pragma once

#include <chrono>
#include <string>

#include "formats.h"

struct _NMClient;
struct _NMRemoteConnection;

namespace portauth::cli {

// The running NetworkManager, through its own client library: typed
// settings, replies and signals, none of them text that follows the locale.
class NetworkManager {
public:
    // Throws CliError(NetworkManagerNotRunning), so that this is known before
    // anyone types a password.
    NetworkManager();
    ~NetworkManager();
    NetworkManager(const NetworkManager&) = delete;
    NetworkManager& operator=(const NetworkManager&) = delete;

    // Creates the connection, or updates the one of that name, its password
    // in the same call: NetworkManager never holds it without.
    void Save(const WiredProfile& profile);

    // Saves the connection, brings it up and follows the activation for at
    // most `timeout`. Gives the interface it came up on; each other outcome
    // is a CliError of its own.
    std::string Connect(const WiredProfile& profile, std::chrono::seconds timeout);

private:
    _NMRemoteConnection* save(const WiredProfile& profile, bool blockAutoconnect);

    _NMClient* client_;
};

} // namespace portauth::cli
