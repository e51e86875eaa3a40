#include "observation.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

using namespace portauth;
using cli::Problem;

namespace {

// NetworkManager's device state reasons, as its D-Bus interface numbers them.
constexpr unsigned kIpConfigUnavailable = 5;
constexpr unsigned kNoSecrets = 7;
constexpr unsigned kSupplicantTimeout = 11;
constexpr unsigned kRemoved = 36;
constexpr unsigned kCarrier = 40;
constexpr unsigned kSleeping = 37;
constexpr unsigned kNewActivation = 60;

struct Case {
    const char* what;
    std::function<void(nm::Observation&)> seen;
    Problem expected;
};

// A cause is told only where it was seen; of several endings at once, the
// one the user asked for or cannot act against comes first.
TEST(Verdict, TellsOnlyWhatWasSeen)
{
    const Case cases[] = {
        {"a refusal heard", [](auto& o) { o.hearsSupplicant = o.eapStarted = o.eapFailed = true; },
         Problem::PasswordRefused},
        {"silence heard", [](auto& o) { o.hearsSupplicant = true, o.deviceReason = kNoSecrets; },
         Problem::NoAuthenticator},
        {"an answer heard, then silence",
         [](auto& o) { o.hearsSupplicant = o.eapStarted = true, o.deviceReason = kSupplicantTimeout; },
         Problem::LogonUnfinished},
        {"deaf to the supplicant", [](auto& o) { o.deviceReason = kNoSecrets; }, Problem::NoLogonSeen},
        {"no password to begin with",
         [](auto& o) { o.hearsSupplicant = o.failedAskingSecrets = true, o.deviceReason = kNoSecrets; },
         Problem::ActivationFailed},
        {"deaf, NetworkManager's other timeout", [](auto& o) { o.deviceReason = kSupplicantTimeout; },
         Problem::NoLogonSeen},
        {"Ctrl+C over a refusal", [](auto& o) { o.interruptedBy = SIGINT, o.hearsSupplicant = o.eapFailed = true; },
         Problem::Interrupted},
        {"SIGTERM", [](auto& o) { o.interruptedBy = SIGTERM; }, Problem::Terminated},
        {"SIGHUP", [](auto& o) { o.interruptedBy = SIGHUP; }, Problem::HungUp},
        {"NetworkManager gone over a timeout", [](auto& o) { o.networkManagerGone = o.timedOut = true; },
         Problem::NetworkManagerNotRunning},
        {"replaced", [](auto& o) { o.deviceReason = kNewActivation; }, Problem::DeviceTaken},
        {"replaced without a reason", [](auto& o) { o.takenByOther = true; }, Problem::DeviceTaken},
        {"a link down when time ran out", [](auto& o) { o.linkDown = o.timedOut = true; }, Problem::DeviceUnavailable},
        {"a link lost, back by the end", [](auto& o) { o.deviceReason = kCarrier; }, Problem::DeviceUnavailable},
        {"time out before NetworkManager's own", [](auto& o) { o.timedOut = true; }, Problem::ConnectTimedOut},
        {"logged on, no address", [](auto& o) { o.deviceReason = kIpConfigUnavailable; }, Problem::NoAddress},
        {"the device removed", [](auto& o) { o.deviceReason = kRemoved; }, Problem::DeviceRemoved},
        {"a reason without words", [](auto& o) { o.deviceReason = kSleeping; }, Problem::ActivationFailed},
    };
    for (const Case& c : cases) {
        nm::Observation seen;
        c.seen(seen);
        const auto verdict = nm::Verdict(seen);
        ASSERT_TRUE(verdict.has_value()) << c.what;
        EXPECT_EQ(verdict->problem(), c.expected) << c.what;
    }
}

TEST(Verdict, UpIsUpWhateverElseCame)
{
    nm::Observation seen;
    seen.activated = true;
    seen.interruptedBy = SIGINT;
    seen.timedOut = true;
    EXPECT_FALSE(nm::Verdict(seen).has_value());
}

// No bare number: NetworkManager's own name for the reason stands beside it.
TEST(Verdict, NamesAReasonWithoutWordsByNetworkManagersName)
{
    nm::Observation seen;
    seen.interfaceName = "eth0";
    seen.deviceReason = kSleeping;
    seen.reasonName = "sleeping";
    EXPECT_STREQ(nm::Verdict(seen)->what(), "eth0\nsleeping\n37");
}

} // namespace
