#pragma once

#include <optional>
#include <string>

#include "cli_error.h"

namespace portauth::nm {

// What following one activation saw, and no more.
struct Observation {
    std::string interfaceName;
    bool activated = false;
    int interruptedBy = 0; // the signal, or 0
    bool networkManagerGone = false;
    bool timedOut = false;
    long long seconds = 0; // the run's whole time, for a timeout
    bool hearsSupplicant = false;
    bool eapStarted = false;
    bool eapFailed = false;
    bool takenByOther = false; // another activation took the device
    bool linkDown = false;     // when it ended
    unsigned deviceReason = 0; // why the device failed, in NetworkManager's numbers
    bool failedAskingSecrets = false; // NetworkManager had no password to begin with
    std::string reasonName;    // and in its words
};

// The outcome to tell: nothing when it came up, else the error. A cause is
// named only where it was seen: a silent port is told apart from a refused
// password only by one who hears the supplicant.
std::optional<cli::CliError> Verdict(const Observation& seen);

} // namespace portauth::nm
