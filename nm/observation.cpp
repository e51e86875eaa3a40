#include "observation.h"

#include <csignal>

#include <NetworkManager.h>

namespace portauth::nm {
namespace {

using cli::CliError;
using cli::Problem;

Problem cancelledBy(int signal)
{
    switch (signal) {
    case SIGTERM:
        return Problem::Terminated;
    case SIGHUP:
        return Problem::HungUp;
    default:
        return Problem::Interrupted;
    }
}

// NetworkManager gives a refused password, a silent port and an answer
// left unfinished one reason: its own timeout.
Problem noLogon(const Observation& seen)
{
    if (!seen.hearsSupplicant)
        return Problem::NoLogonSeen;
    return seen.eapStarted ? Problem::LogonUnfinished : Problem::NoAuthenticator;
}

Problem failedFor(const Observation& seen)
{
    switch (seen.deviceReason) {
    case NM_DEVICE_STATE_REASON_NO_SECRETS:
        return seen.failedAskingSecrets ? Problem::ActivationFailed : noLogon(seen);
    case NM_DEVICE_STATE_REASON_SUPPLICANT_TIMEOUT:
        return noLogon(seen);
    case NM_DEVICE_STATE_REASON_SUPPLICANT_FAILED:
    case NM_DEVICE_STATE_REASON_SUPPLICANT_CONFIG_FAILED:
        return Problem::SupplicantFailed;
    case NM_DEVICE_STATE_REASON_SUPPLICANT_DISCONNECT:
        return Problem::SupplicantDisconnected;
    case NM_DEVICE_STATE_REASON_REMOVED:
        return Problem::DeviceRemoved;
    case NM_DEVICE_STATE_REASON_NEW_ACTIVATION:
        return Problem::DeviceTaken;
    case NM_DEVICE_STATE_REASON_USER_REQUESTED:
        return Problem::DeviceDisconnected;
    case NM_DEVICE_STATE_REASON_CONNECTION_REMOVED:
        return Problem::ProfileRemoved;
    case NM_DEVICE_STATE_REASON_IP_CONFIG_UNAVAILABLE:
    case NM_DEVICE_STATE_REASON_IP_CONFIG_EXPIRED:
    case NM_DEVICE_STATE_REASON_DHCP_START_FAILED:
    case NM_DEVICE_STATE_REASON_DHCP_ERROR:
    case NM_DEVICE_STATE_REASON_DHCP_FAILED:
        return Problem::NoAddress;
    default:
        return Problem::ActivationFailed;
    }
}

} // namespace

std::optional<CliError> Verdict(const Observation& seen)
{
    if (seen.activated)
        return std::nullopt;
    if (seen.interruptedBy != 0)
        return CliError(cancelledBy(seen.interruptedBy));
    if (seen.networkManagerGone)
        return CliError(Problem::NetworkManagerNotRunning);
    if (seen.eapFailed)
        return CliError(Problem::PasswordRefused, seen.interfaceName);
    if (seen.takenByOther)
        return CliError(Problem::DeviceTaken, seen.interfaceName);
    if (seen.linkDown || seen.deviceReason == NM_DEVICE_STATE_REASON_CARRIER)
        return CliError(Problem::DeviceUnavailable, seen.interfaceName + ": no carrier");
    if (seen.timedOut)
        return CliError(Problem::ConnectTimedOut, std::to_string(seen.seconds));
    const Problem problem = failedFor(seen);
    if (problem == Problem::ActivationFailed)
        return CliError(problem, seen.interfaceName + '\n' + seen.reasonName + '\n' + std::to_string(seen.deviceReason));
    return CliError(problem, seen.interfaceName);
}

} // namespace portauth::nm
