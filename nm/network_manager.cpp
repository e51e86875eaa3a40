#include "network_manager.h"

#include <algorithm>

#include "cli_error.h"
#include "glib_wait.h"
#include "libnm_calls.h"
#include "profiles.h"
#include "supplicant.h"

namespace portauth::nm {
namespace {

using cli::CliError;
using cli::Problem;

// A link that came back must stay this long before the logon starts again,
// so that a flapping port settles first; and no more often than this.
constexpr std::int64_t kSettleMicroseconds = 1'000'000;
constexpr int kMostRestarts = 5;
// How long the activation that replaced the run's own may take to show.
constexpr std::int64_t kNewcomerMicroseconds = 1'000'000;

std::string reasonName(unsigned reason)
{
    auto* reasons = static_cast<GEnumClass*>(g_type_class_ref(NM_TYPE_DEVICE_STATE_REASON));
    const GEnumValue* value = g_enum_get_value(reasons, static_cast<gint>(reason));
    std::string name = value != nullptr ? value->value_nick : "unknown";
    g_type_class_unref(reasons);
    return name;
}

// Another activation, not the run's own, going on or up on the device.
NMActiveConnection* otherOn(NMClient* client, NMDevice* device, NMActiveConnection* own)
{
    const GPtrArray* all = nm_client_get_active_connections(client);
    for (guint i = 0; i < all->len; ++i) {
        auto* active = NM_ACTIVE_CONNECTION(all->pdata[i]);
        const GPtrArray* devices = nm_active_connection_get_devices(active);
        const bool onDevice = devices != nullptr && std::find(devices->pdata, devices->pdata + devices->len,
                                                              device) != devices->pdata + devices->len;
        if (active != own && onDevice && nm_active_connection_get_state(active) <= NM_ACTIVE_CONNECTION_STATE_ACTIVATED)
            return active;
    }
    return nullptr;
}

// What one activation has shown so far.
struct Progress {
    guint state = NM_ACTIVE_CONNECTION_STATE_ACTIVATING;
    unsigned deviceReason = NM_DEVICE_STATE_REASON_NONE; // why the device left the activation
    bool linkUp = true;
    std::int64_t restartAt = 0; // once the link came back and stayed
    bool removed = false;
    bool failedAskingSecrets = false; // before any logon began
};

void onActiveState(NMActiveConnection*, guint state, guint, gpointer progress)
{
    static_cast<Progress*>(progress)->state = state;
}

// The activation's own reason says only "device disconnected"; the
// device's tells why.
void onDeviceState(NMDevice*, guint state, guint old, guint reason, gpointer data)
{
    auto& progress = *static_cast<Progress*>(data);
    const bool leaving = state == NM_DEVICE_STATE_FAILED || state == NM_DEVICE_STATE_UNAVAILABLE ||
                         state == NM_DEVICE_STATE_DEACTIVATING || state == NM_DEVICE_STATE_UNMANAGED;
    if (!leaving || progress.deviceReason != NM_DEVICE_STATE_REASON_NONE)
        return;
    progress.deviceReason = reason;
    progress.failedAskingSecrets = old == NM_DEVICE_STATE_NEED_AUTH;
}

// A port that goes down can swallow the supplicant's one EAPOL-Start, and
// an authenticator that does not ask again when the link comes up (most
// switches do, hostapd does not) then never answers: the logon has to start
// again. NetworkManager tells a quick drop and return as one change to a
// link that is up, so any news of the link counts.
void onCarrier(GObject* device, GParamSpec*, gpointer data)
{
    auto& progress = *static_cast<Progress*>(data);
    progress.linkUp = HasCarrier(NM_DEVICE(device));
    progress.restartAt = progress.linkUp ? g_get_monotonic_time() + kSettleMicroseconds : 0;
}

void onDeviceRemoved(NMClient*, NMDevice* removed, gpointer data)
{
    auto& [device, progress] = *static_cast<std::pair<NMDevice*, Progress*>*>(data);
    if (removed == device) {
        progress->removed = true;
        progress->deviceReason = NM_DEVICE_STATE_REASON_REMOVED;
    }
}

} // namespace

struct Logon::State {
    const Budget& budget;
    Owned<NMClient> client;
    Connected runningWatch;
    bool gone = false; // NetworkManager left the bus: its objects must not be used
    Owned<NMDevice> device;
    std::string interfaceName;
    Owned<NMRemoteConnection> existing;
    Owned<NMRemoteConnection> wasUp;
    bool hearsSupplicant = false;
    std::unique_ptr<EapWatch> eap;

    // What the run has written, to persist or to take back.
    Owned<NMRemoteConnection> saved;
    OwnedVariant settings;
    OwnedVariant earlier; // with secrets; null for a profile the run created
    bool earlierUnsaved = false;
    bool saveUnanswered = false;
    Owned<NMActiveConnection> active;
    bool takenByOther = false;
    bool takerUsesProfile = false;

    explicit State(const Budget& limits) : budget(limits) {}

    NMClient* nm() const { return client.get(); }
    Deadline whole() const { return budget.Whole(); }
};

namespace {

// Drives the activation until it is up or has ended, the network refused
// the password, an interrupt came or the time is over (true). A link that
// comes back, or a password NetworkManager lost, gets the logon started
// again.
bool followToTheEnd(Logon::State& s, Progress& progress, const Interrupts& interrupts)
{
    Connected activeState(s.active.get(), "state-changed", G_CALLBACK(onActiveState), &progress);
    const Deadline until = s.budget.ForFollowing();
    const auto ended = [&] {
        return s.gone || interrupts.Caught() != 0 || progress.removed ||
               progress.state >= NM_ACTIVE_CONNECTION_STATE_ACTIVATED ||
               (s.hearsSupplicant && s.eap->On(s.interfaceName).failed);
    };
    const auto restartDue = [&] { return progress.restartAt != 0 && g_get_monotonic_time() >= progress.restartAt; };
    const auto startAgain = [&] {
        activeState = Connected();
        s.eap->Forget(s.interfaceName);
        s.active = Activate(s.nm(), s.saved.get(), s.device.get(), s.interfaceName, until);
        // What the run's own earlier activation did on leaving is no news.
        progress = Progress{.state = nm_active_connection_get_state(s.active.get())};
        activeState = Connected(s.active.get(), "state-changed", G_CALLBACK(onActiveState), &progress);
    };
    // An activation that follows another of the same profile at once can
    // find NetworkManager without its password, though the profile holds
    // it. Nothing went on the wire: it is worth one more try.
    bool askedAgain = false;
    const auto passwordLost = [&] {
        return progress.failedAskingSecrets && progress.state >= NM_ACTIVE_CONNECTION_STATE_DEACTIVATING &&
               !askedAgain && !s.gone && interrupts.Caught() == 0;
    };
    int restarts = 0;
    for (;;) {
        if (passwordLost()) {
            askedAgain = true;
            startAgain();
            continue;
        }
        if (ended())
            return false;
        if (restartDue()) {
            if (++restarts <= kMostRestarts) {
                startAgain();
                continue;
            }
            progress.restartAt = 0;
        }
        const std::int64_t restartAt = progress.restartAt;
        RunUntil([&] { return ended() || progress.restartAt != restartAt; },
                 restartAt != 0 ? std::min(restartAt, until.at) : until.at);
        if (!ended() && g_get_monotonic_time() >= until.at)
            return true;
    }
}

// Replaced, not failed: a device that failed has its own reason. The
// newcomer can reach this client a moment after the news that it came.
void noteTaker(Logon::State& s, const Progress& progress)
{
    const bool replaced = progress.state >= NM_ACTIVE_CONNECTION_STATE_DEACTIVATING &&
                          (progress.deviceReason == NM_DEVICE_STATE_REASON_NONE ||
                           progress.deviceReason == NM_DEVICE_STATE_REASON_NEW_ACTIVATION);
    NMActiveConnection* taker = nullptr;
    if (replaced)
        RunUntil([&] { return s.gone || (taker = otherOn(s.nm(), s.device.get(), s.active.get())) != nullptr; },
                 std::min(g_get_monotonic_time() + kNewcomerMicroseconds, s.whole().at));
    if (taker == nullptr || s.gone)
        return;
    s.takenByOther = true;
    s.takerUsesProfile = NM_CONNECTION(nm_active_connection_get_connection(taker)) == NM_CONNECTION(s.saved.get());
}

Observation observed(Logon::State& s, const Progress& progress, const Interrupts& interrupts, bool timedOut)
{
    Observation seen;
    seen.interfaceName = s.interfaceName;
    seen.hearsSupplicant = s.hearsSupplicant;
    seen.seconds = s.whole().seconds;
    seen.interruptedBy = interrupts.Caught();
    seen.timedOut = timedOut;
    seen.networkManagerGone = s.gone;
    if (s.gone || s.active == nullptr)
        return seen;
    seen.activated = progress.state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED;
    const EapProgress eap = s.eap->On(s.interfaceName);
    seen.eapStarted = eap.started;
    seen.eapFailed = eap.failed;
    seen.linkDown = !progress.linkUp || KernelSaysNoLink(s.interfaceName);
    seen.deviceReason = progress.deviceReason;
    seen.failedAskingSecrets = progress.failedAskingSecrets;
    seen.reasonName = reasonName(progress.deviceReason);
    noteTaker(s, progress);
    seen.takenByOther = s.takenByOther;
    return seen;
}

} // namespace

struct ProfileWriter::State {
    const Budget& budget;
    Owned<NMClient> client;
    Owned<NMRemoteConnection> existing;
};

ProfileWriter::ProfileWriter(const Budget& budget, const std::string& profileName)
    : state_(std::make_unique<State>(State{budget, Reach(budget.Whole()), nullptr}))
{
    state_->existing = share(ExistingProfile(state_->client.get(), profileName));
}

ProfileWriter::~ProfileWriter() = default;

void ProfileWriter::Save(const cli::WiredProfile& profile)
{
    g_autoptr(NMConnection) connection = ProfileConnection(state_->existing.get(), profile);
    Write(state_->client.get(), state_->existing.get(), SettingsOf(connection).get(), true, state_->budget.Whole(),
          profile.name);
}

Logon::Logon(const Budget& budget, const std::string& profileName, const std::optional<std::string>& interfaceName)
    : state_(std::make_unique<State>(budget))
{
    State& s = *state_;
    s.client = Reach(s.whole());
    s.runningWatch = Connected(s.nm(), "notify::" NM_CLIENT_NM_RUNNING,
                               G_CALLBACK(+[](GObject* client, GParamSpec*, gpointer gone) {
                                   *static_cast<bool*>(gone) = !nm_client_get_nm_running(NM_CLIENT(client));
                               }),
                               &s.gone);
    s.existing = share(ExistingProfile(s.nm(), profileName));
    s.device = share(ChosenDevice(s.nm(), interfaceName, s.existing.get()));
    s.interfaceName = nm_device_get_iface(s.device.get());
    s.wasUp = share(UpOn(s.device.get()));
    s.hearsSupplicant = HearsSupplicant(nm_client_get_dbus_connection(s.nm()), s.whole());
    s.eap = std::make_unique<EapWatch>(nm_client_get_dbus_connection(s.nm()));
}

Logon::~Logon() = default;

const std::string& Logon::InterfaceName() const
{
    return state_->interfaceName;
}

void Logon::SaveInMemory(const cli::WiredProfile& profile)
{
    State& s = *state_;
    if (s.existing != nullptr) {
        s.earlier = SettingsWithSecrets(s.nm(), s.existing.get(), s.whole());
        s.earlierUnsaved = nm_remote_connection_get_unsaved(s.existing.get());
    }
    g_autoptr(NMConnection) connection = ProfileConnection(s.existing.get(), profile);
    s.settings = SettingsOf(connection);
    // NetworkManager would start the profile in memory again by itself once
    // an activation failed, before the run could take it back.
    g_object_set(nm_connection_get_setting_connection(connection), NM_SETTING_CONNECTION_AUTOCONNECT, FALSE, nullptr);
    try {
        s.saved = Write(s.nm(), s.existing.get(), SettingsOf(connection).get(), false, s.whole(), profile.name);
    } catch (const CliError& error) {
        s.saveUnanswered = error.problem() == Problem::NetworkManagerSilent;
        throw;
    }
}

void Logon::Activate(const Interrupts& interrupts)
{
    State& s = *state_;
    if (interrupts.Caught() == 0)
        s.active = nm::Activate(s.nm(), s.saved.get(), s.device.get(), s.interfaceName, s.budget.ForFollowing());
}

Observation Logon::Follow(const Interrupts& interrupts)
{
    State& s = *state_;
    if (s.active == nullptr)
        return observed(s, Progress{}, interrupts, false);
    Progress progress{.state = nm_active_connection_get_state(s.active.get())};
    std::pair<NMDevice*, Progress*> removal{s.device.get(), &progress};
    const Connected deviceState(s.device.get(), "state-changed", G_CALLBACK(onDeviceState), &progress);
    const Connected carrier(s.device.get(), "notify::" NM_DEVICE_ETHERNET_CARRIER, G_CALLBACK(onCarrier), &progress);
    const Connected removed(s.nm(), NM_CLIENT_DEVICE_REMOVED, G_CALLBACK(onDeviceRemoved), &removal);
    const bool timedOut = followToTheEnd(s, progress, interrupts);
    return observed(s, progress, interrupts, timedOut);
}

void Logon::Persist()
{
    State& s = *state_;
    Update(s.nm(), s.saved.get(), s.settings.get(), NM_SETTINGS_UPDATE2_FLAG_TO_DISK, s.whole());
}

void Logon::TakeDown()
{
    State& s = *state_;
    if (s.gone || s.takenByOther || s.saved == nullptr)
        return;
    try {
        if (s.active != nullptr &&
            nm_active_connection_get_state(s.active.get()) < NM_ACTIVE_CONNECTION_STATE_DEACTIVATING)
            Deactivate(s.nm(), s.active.get(), s.whole());
    } catch (const CliError&) {
        // Not answered in time: the restore below tells what is left.
    }
    // NetworkManager tears an activation down after it has answered, and
    // drops the profile's password on the way: the earlier settings go back
    // once the device is let go, or another activation holds it.
    RunUntil(
        [&] {
            return s.gone || nm_device_get_state(s.device.get()) <= NM_DEVICE_STATE_DISCONNECTED ||
                   otherOn(s.nm(), s.device.get(), s.active.get()) != nullptr;
        },
        s.whole().at);
}

std::optional<CliError> Logon::Restore()
{
    State& s = *state_;
    if (s.saveUnanswered)
        return CliError(Problem::NetworkManagerSilent, std::to_string(s.whole().seconds));
    if (s.saved == nullptr || s.takerUsesProfile)
        return std::nullopt;
    if (s.gone || !NetworkManagerOnBus(s.nm()))
        return CliError(Problem::NetworkManagerNotRunning);
    try {
        if (s.earlier == nullptr)
            Remove(s.nm(), s.saved.get(), s.whole());
        else
            Update(s.nm(), s.saved.get(), s.earlier.get(),
                   static_cast<NMSettingsUpdate2Flags>(
                       (s.earlierUnsaved ? NM_SETTINGS_UPDATE2_FLAG_IN_MEMORY : NM_SETTINGS_UPDATE2_FLAG_TO_DISK) |
                       NM_SETTINGS_UPDATE2_FLAG_BLOCK_AUTOCONNECT),
                   s.whole());
    } catch (const CliError& error) {
        return error;
    }
    if (s.wasUp != nullptr && !s.takenByOther)
        nm_client_activate_connection_async(s.nm(), NM_CONNECTION(s.wasUp.get()), s.device.get(), nullptr, nullptr,
                                            nullptr, nullptr);
    return std::nullopt;
}

} // namespace portauth::nm
