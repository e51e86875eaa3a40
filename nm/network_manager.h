#pragma once

#include <memory>
#include <optional>
#include <string>

#include "formats.h"
#include "observation.h"
#include "run_limits.h"

// NetworkManager through its own client library: typed settings, replies
// and signals, none of them text that follows the locale. Every call is
// bounded by the run's budget; a NetworkManager that stops answering ends
// in a timeout, one that leaves the bus in NetworkManagerNotRunning.
namespace portauth::nm {

// The networkmanager command's way in.
class ProfileWriter {
public:
    // Reaches NetworkManager and checks the profile of that name: none, or
    // one wired profile.
    ProfileWriter(const Budget& budget, const std::string& profileName);
    ~ProfileWriter();
    ProfileWriter(const ProfileWriter&) = delete;
    ProfileWriter& operator=(const ProfileWriter&) = delete;
    // Creates or updates it on disk at once, its password in the same call.
    void Save(const cli::WiredProfile& profile);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// One run of connect. Each step throws CliError for what stands in its way.
class Logon {
public:
    // Reaches NetworkManager and checks, before anything is written, the
    // device (an Ethernet device it manages) and the profile of that name
    // (none, or one wired profile); finds out whether the supplicant can be
    // heard.
    Logon(const Budget& budget, const std::string& profileName, const std::optional<std::string>& interfaceName);
    ~Logon();
    Logon(const Logon&) = delete;
    Logon& operator=(const Logon&) = delete;

    const std::string& InterfaceName() const;

    // Saves the profile in memory alone, its earlier settings and secrets
    // kept to restore, with autoconnect held back, so that the activation
    // below is the only one: the one whose outcome is told.
    void SaveInMemory(const cli::WiredProfile& profile);
    // Brings it up, unless an interrupt came first.
    void Activate(const Interrupts& interrupts);
    // Follows the activation until it is up or has ended, the network
    // refused the password, an interrupt came or the time is over. A link
    // that comes back meanwhile gets its logon started again.
    Observation Follow(const Interrupts& interrupts);
    // Writes the saved settings to disk: the connection is up.
    void Persist();

    // Taking a run back: ends its own activation, then gives the profile its
    // earlier settings (or deletes the one it created) and brings up again
    // what was up on the device before. Gives why the profile could not be
    // restored, or nothing.
    void TakeDown();
    std::optional<cli::CliError> Restore();

    struct State; // what the run has found and written

private:
    std::unique_ptr<State> state_;
};

} // namespace portauth::nm
