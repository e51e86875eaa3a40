#include "network_manager.h"

#include <glib.h>
extern "C" {
// The one libnm header without C++ guards; NetworkManager.h includes it.
#include <nm-errors.h>
}
#include <NetworkManager.h>

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "cli_error.h"
#include "glib_wait.h"
#include "supplicant.h"

namespace portauth::nm {
namespace {

using cli::CliError;
using cli::Problem;

// One try of ten seconds: an authenticator answers an EAP-MD5 logon within
// a second or two, even through a slow RADIUS server, and another try only
// sends the same password again. NetworkManager's own 3 tries of 25 s each
// made a refused password take 75 s to tell.
constexpr int kAuthTimeoutSeconds = 10;
constexpr int kAuthRetries = 1;

// A link that came back must stay this long before the logon starts again,
// so that a flapping port settles first; and no more often than this.
constexpr std::int64_t kSettleMicroseconds = 1'000'000;
constexpr int kMostRestarts = 5;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, ObjectUnref>;

template <class T>
Owned<T> share(T* object)
{
    return Owned<T>(object != nullptr ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using OwnedVariant = std::unique_ptr<GVariant, VariantUnref>;

std::string quoted(const std::string& name)
{
    return "\"" + name + "\": ";
}

// Asked of the bus, which answers even when NetworkManager hangs.
bool networkManagerOnBus(NMClient* client)
{
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        nm_client_get_dbus_connection(client), "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", NM_DBUS_SERVICE), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply != nullptr)
        g_variant_get(reply, "(b)", &owned);
    return owned != FALSE;
}

bool noAnswer(const GError* error)
{
    return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) ||
           g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMED_OUT);
}

// A failed call: NetworkManager gone, not answering in time, or refusing.
[[noreturn]] void fail(NMClient* client, const GError* error, const Deadline& deadline, Problem otherwise,
                       const std::string& detail)
{
    if (!networkManagerOnBus(client))
        throw CliError(Problem::NetworkManagerNotRunning);
    if (noAnswer(error))
        throw CliError(Problem::NetworkManagerSilent, std::to_string(deadline.seconds));
    throw CliError(otherwise, detail + error->message);
}

Owned<NMClient> reach(const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_async_initable_new_async(NM_TYPE_CLIENT, G_PRIORITY_DEFAULT, cancellable, callback, data,
                                       NM_CLIENT_INSTANCE_FLAGS, NM_CLIENT_INSTANCE_FLAGS_NO_AUTO_FETCH_PERMISSIONS,
                                       nullptr);
        },
        deadline);
    g_autoptr(GObject) initable = g_async_result_get_source_object(done);
    g_autoptr(GError) error = nullptr;
    Owned<NMClient> client(
        reinterpret_cast<NMClient*>(g_async_initable_new_finish(G_ASYNC_INITABLE(initable), done, &error)));
    if (client == nullptr && noAnswer(error))
        throw CliError(Problem::NetworkManagerSilent, std::to_string(deadline.seconds));
    if (client == nullptr || !nm_client_get_nm_running(client.get()))
        throw CliError(Problem::NetworkManagerNotRunning);
    return client;
}

// None, or the one wired profile of that name: of two, which one the user
// meant is not for this program to guess.
NMRemoteConnection* existingProfile(NMClient* client, const std::string& name)
{
    std::vector<NMRemoteConnection*> named;
    const GPtrArray* all = nm_client_get_connections(client);
    for (guint i = 0; i < all->len; ++i) {
        auto* profile = NM_REMOTE_CONNECTION(all->pdata[i]);
        if (name == nm_connection_get_id(NM_CONNECTION(profile)))
            named.push_back(profile);
    }
    if (named.size() > 1) {
        std::string uuids;
        for (NMRemoteConnection* profile : named)
            uuids.append(uuids.empty() ? "" : ", ").append(nm_connection_get_uuid(NM_CONNECTION(profile)));
        throw CliError(Problem::ProfileNotUnique, name + '\n' + uuids);
    }
    if (named.empty())
        return nullptr;
    if (!nm_connection_is_type(NM_CONNECTION(named[0]), NM_SETTING_WIRED_SETTING_NAME))
        throw CliError(Problem::ProfileNotWired, name);
    return named[0];
}

NMDevice* checkedDevice(NMClient* client, const std::string& interfaceName)
{
    NMDevice* device = nm_client_get_device_by_iface(client, interfaceName.c_str());
    if (device == nullptr)
        throw CliError(Problem::NoSuchDevice, interfaceName);
    if (!NM_IS_DEVICE_ETHERNET(device))
        throw CliError(Problem::NotEthernet, interfaceName + '\n' + nm_device_get_type_description(device));
    if (!nm_device_get_managed(device))
        throw CliError(Problem::DeviceUnmanaged, interfaceName);
    return device;
}

bool hasCarrier(NMDevice* device)
{
    return nm_device_ethernet_get_carrier(NM_DEVICE_ETHERNET(device)) != FALSE;
}

// Without --interface: the device the profile is bound to, else the one
// Ethernet device NetworkManager manages (the one with a link, of several).
NMDevice* chosenDevice(NMClient* client, const std::optional<std::string>& interfaceName, NMRemoteConnection* profile)
{
    if (interfaceName)
        return checkedDevice(client, *interfaceName);
    const char* bound = profile != nullptr ? nm_connection_get_interface_name(NM_CONNECTION(profile)) : nullptr;
    if (bound != nullptr)
        return checkedDevice(client, bound);
    std::vector<NMDevice*> wired;
    const GPtrArray* devices = nm_client_get_devices(client);
    for (guint i = 0; i < devices->len; ++i) {
        auto* device = NM_DEVICE(devices->pdata[i]);
        if (NM_IS_DEVICE_ETHERNET(device) && nm_device_get_managed(device))
            wired.push_back(device);
    }
    if (wired.size() > 1)
        wired.erase(std::remove_if(wired.begin(), wired.end(), [](NMDevice* device) { return !hasCarrier(device); }),
                    wired.end());
    if (wired.empty())
        throw CliError(Problem::NoEthernetDevice);
    if (wired.size() > 1) {
        std::string names;
        for (NMDevice* device : wired)
            names.append(names.empty() ? "" : ", ").append(nm_device_get_iface(device));
        throw CliError(Problem::SeveralDevices, names);
    }
    return wired[0];
}

// What is up on the device now, to bring up again should the run fail.
NMRemoteConnection* upOn(NMDevice* device)
{
    NMActiveConnection* active = nm_device_get_active_connection(device);
    if (active == nullptr || nm_active_connection_get_state(active) != NM_ACTIVE_CONNECTION_STATE_ACTIVATED ||
        (nm_active_connection_get_state_flags(active) & NM_ACTIVATION_STATE_FLAG_EXTERNAL) != 0)
        return nullptr;
    return nm_active_connection_get_connection(active);
}

NMConnection* newWiredConnection(const std::string& name)
{
    NMConnection* connection = nm_simple_connection_new();
    NMSetting* general = nm_setting_connection_new();
    g_autofree char* uuid = nm_utils_uuid_generate();
    g_object_set(general, NM_SETTING_CONNECTION_ID, name.c_str(), NM_SETTING_CONNECTION_UUID, uuid,
                 NM_SETTING_CONNECTION_TYPE, NM_SETTING_WIRED_SETTING_NAME, nullptr);
    nm_connection_add_setting(connection, general);
    nm_connection_add_setting(connection, nm_setting_wired_new());
    return connection;
}

void applyProfile(NMConnection* connection, const cli::WiredProfile& profile)
{
    NMSettingConnection* general = nm_connection_get_setting_connection(connection);
    if (profile.interfaceName)
        g_object_set(general, NM_SETTING_CONNECTION_INTERFACE_NAME, profile.interfaceName->c_str(), nullptr);
    g_object_set(general, NM_SETTING_CONNECTION_AUTH_RETRIES, kAuthRetries, nullptr);
    NMSetting* dot1x = nm_setting_802_1x_new();
    const char* const methods[] = {"md5", nullptr};
    g_object_set(dot1x, NM_SETTING_802_1X_EAP, methods, NM_SETTING_802_1X_IDENTITY, profile.identity.c_str(),
                 NM_SETTING_802_1X_PASSWORD, profile.password.c_str(), NM_SETTING_802_1X_PASSWORD_FLAGS,
                 NM_SETTING_SECRET_FLAG_NONE, NM_SETTING_802_1X_AUTH_TIMEOUT, kAuthTimeoutSeconds, nullptr);
    nm_connection_add_setting(connection, dot1x);
}

OwnedVariant settingsOf(NMConnection* connection)
{
    return OwnedVariant(g_variant_ref_sink(nm_connection_to_dbus(connection, NM_CONNECTION_SERIALIZE_ALL)));
}

// The profile's settings with the secrets NetworkManager keeps for it:
// what it takes to give it back as it was.
OwnedVariant settingsWithSecrets(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline)
{
    g_autoptr(NMConnection) copy = nm_simple_connection_new_clone(NM_CONNECTION(profile));
    if (nm_connection_get_setting_802_1x(copy) != nullptr) {
        g_autoptr(GAsyncResult) done = Await(
            [profile](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
                nm_remote_connection_get_secrets_async(profile, NM_SETTING_802_1X_SETTING_NAME, cancellable, callback,
                                                       data);
            },
            deadline);
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) secrets = nm_remote_connection_get_secrets_finish(profile, done, &error);
        if (secrets == nullptr ||
            !nm_connection_update_secrets(copy, NM_SETTING_802_1X_SETTING_NAME, secrets, &error))
            fail(client, error, deadline, Problem::SecretsUnreadable, quoted(nm_connection_get_id(copy)));
    }
    return settingsOf(copy);
}

void update(NMClient* client, NMRemoteConnection* profile, GVariant* settings, NMSettingsUpdate2Flags flags,
            const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_remote_connection_update2(profile, settings, flags, nullptr, cancellable, callback, data);
        },
        deadline);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) result = nm_remote_connection_update2_finish(profile, done, &error);
    if (result == nullptr)
        fail(client, error, deadline, Problem::ConnectionNotWritten, quoted(nm_connection_get_id(NM_CONNECTION(profile))));
}

NMRemoteConnection* add(NMClient* client, GVariant* settings, NMSettingsAddConnection2Flags flags,
                        const Deadline& deadline, const std::string& name)
{
    g_autoptr(GAsyncResult) done = Await(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_client_add_connection2(client, settings, flags, nullptr, TRUE, cancellable, callback, data);
        },
        deadline);
    g_autoptr(GError) error = nullptr;
    NMRemoteConnection* added = nm_client_add_connection2_finish(client, done, nullptr, &error);
    if (added == nullptr)
        fail(client, error, deadline, Problem::ConnectionNotWritten, quoted(name));
    return added;
}

void remove(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [profile](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_remote_connection_delete_async(profile, cancellable, callback, data);
        },
        deadline);
    g_autoptr(GError) error = nullptr;
    if (!nm_remote_connection_delete_finish(profile, done, &error))
        fail(client, error, deadline, Problem::ConnectionNotWritten, quoted(nm_connection_get_id(NM_CONNECTION(profile))));
}

// The client's copy of the device's state can lag the link by a moment,
// the kernel's cannot.
bool kernelSaysNoLink(const std::string& interfaceName)
{
    std::ifstream carrier("/sys/class/net/" + interfaceName + "/carrier");
    char state = '1';
    return carrier >> state && state == '0';
}

NMActiveConnection* activate(NMClient* client, NMRemoteConnection* profile, NMDevice* device,
                             const std::string& interfaceName, const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_client_activate_connection_async(client, NM_CONNECTION(profile), device, nullptr, cancellable,
                                                callback, data);
        },
        deadline);
    g_autoptr(GError) error = nullptr;
    NMActiveConnection* active = nm_client_activate_connection_finish(client, done, &error);
    if (active != nullptr)
        return active;
    // NetworkManager names a device without its link in more than one way.
    if (networkManagerOnBus(client) && !noAnswer(error) &&
        (g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_UNKNOWN_DEVICE) ||
         g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE) ||
         kernelSaysNoLink(interfaceName)))
        throw CliError(Problem::DeviceUnavailable, interfaceName + ": " + error->message);
    fail(client, error, deadline, Problem::ConnectionNotActivated, interfaceName + ": ");
}

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
};

void onActiveState(NMActiveConnection*, guint state, guint, gpointer progress)
{
    static_cast<Progress*>(progress)->state = state;
}

// The activation's own reason says only "device disconnected"; the
// device's tells why.
void onDeviceState(NMDevice*, guint state, guint, guint reason, gpointer data)
{
    auto& progress = *static_cast<Progress*>(data);
    const bool leaving = state == NM_DEVICE_STATE_FAILED || state == NM_DEVICE_STATE_UNAVAILABLE ||
                         state == NM_DEVICE_STATE_DEACTIVATING || state == NM_DEVICE_STATE_UNMANAGED;
    if (leaving && progress.deviceReason == NM_DEVICE_STATE_REASON_NONE)
        progress.deviceReason = reason;
}

// A port that goes down drops the supplicant's one EAPOL-Start, and most
// authenticators, unlike the switches that send a request when the link
// comes up, then never answer: the logon has to start again.
void onCarrier(GObject* device, GParamSpec*, gpointer data)
{
    auto& progress = *static_cast<Progress*>(data);
    const bool up = hasCarrier(NM_DEVICE(device));
    if (up == progress.linkUp)
        return;
    progress.linkUp = up;
    progress.restartAt = up ? g_get_monotonic_time() + kSettleMicroseconds : 0;
}

void onDeviceRemoved(NMClient*, NMDevice* removed, gpointer data)
{
    auto& [device, progress] = *static_cast<std::pair<NMDevice*, Progress*>*>(data);
    if (removed == device) {
        progress->removed = true;
        progress->deviceReason = NM_DEVICE_STATE_REASON_REMOVED;
    }
}

// Signal handlers, connected for as long as it lives.
class Connected {
public:
    Connected() = default;
    Connected(gpointer instance, const char* signal, GCallback handler, gpointer data)
        : instance_(instance), id_(g_signal_connect(instance, signal, handler, data))
    {
    }
    Connected(Connected&& other) noexcept : instance_(other.instance_), id_(std::exchange(other.id_, 0)) {}
    Connected& operator=(Connected&& other) noexcept
    {
        std::swap(instance_, other.instance_);
        std::swap(id_, other.id_);
        return *this;
    }
    ~Connected()
    {
        if (id_ != 0)
            g_signal_handler_disconnect(instance_, id_);
    }

private:
    gpointer instance_ = nullptr;
    gulong id_ = 0;
};

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

// The profile as it is to be saved: the earlier one's settings, or a new
// one's, with what the logon needs.
NMConnection* profileConnection(NMRemoteConnection* existing, const cli::WiredProfile& profile)
{
    NMConnection* connection =
        existing != nullptr ? nm_simple_connection_new_clone(NM_CONNECTION(existing)) : newWiredConnection(profile.name);
    applyProfile(connection, profile);
    return connection;
}

// Creates the profile, or updates the earlier one, on disk or in memory.
Owned<NMRemoteConnection> write(NMClient* client, NMRemoteConnection* existing, GVariant* settings, bool toDisk,
                                const Deadline& deadline, const std::string& name)
{
    if (existing != nullptr) {
        update(client, existing, settings,
               toDisk ? NM_SETTINGS_UPDATE2_FLAG_TO_DISK
                      : static_cast<NMSettingsUpdate2Flags>(NM_SETTINGS_UPDATE2_FLAG_IN_MEMORY |
                                                            NM_SETTINGS_UPDATE2_FLAG_BLOCK_AUTOCONNECT),
               deadline);
        return share(existing);
    }
    return Owned<NMRemoteConnection>(
        add(client, settings,
            toDisk ? NM_SETTINGS_ADD_CONNECTION2_FLAG_TO_DISK
                   : static_cast<NMSettingsAddConnection2Flags>(NM_SETTINGS_ADD_CONNECTION2_FLAG_IN_MEMORY |
                                                                NM_SETTINGS_ADD_CONNECTION2_FLAG_BLOCK_AUTOCONNECT),
            deadline, name));
}

} // namespace

struct ProfileWriter::State {
    const Budget& budget;
    Owned<NMClient> client;
    Owned<NMRemoteConnection> existing;
};

ProfileWriter::ProfileWriter(const Budget& budget, const std::string& profileName)
    : state_(std::make_unique<State>(State{budget, reach(budget.Whole()), nullptr}))
{
    state_->existing = share(existingProfile(state_->client.get(), profileName));
}

ProfileWriter::~ProfileWriter() = default;

void ProfileWriter::Save(const cli::WiredProfile& profile)
{
    g_autoptr(NMConnection) connection = profileConnection(state_->existing.get(), profile);
    write(state_->client.get(), state_->existing.get(), settingsOf(connection).get(), true, state_->budget.Whole(),
          profile.name);
}

Logon::Logon(const Budget& budget, const std::string& profileName, const std::optional<std::string>& interfaceName)
    : state_(std::make_unique<State>(budget))
{
    State& s = *state_;
    s.client = reach(s.whole());
    s.runningWatch = Connected(s.nm(), "notify::" NM_CLIENT_NM_RUNNING,
                               G_CALLBACK(+[](GObject* client, GParamSpec*, gpointer gone) {
                                   *static_cast<bool*>(gone) = !nm_client_get_nm_running(NM_CLIENT(client));
                               }),
                               &s.gone);
    s.existing = share(existingProfile(s.nm(), profileName));
    s.device = share(chosenDevice(s.nm(), interfaceName, s.existing.get()));
    s.interfaceName = nm_device_get_iface(s.device.get());
    s.wasUp = share(upOn(s.device.get()));
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
        s.earlier = settingsWithSecrets(s.nm(), s.existing.get(), s.whole());
        s.earlierUnsaved = nm_remote_connection_get_unsaved(s.existing.get());
    }
    g_autoptr(NMConnection) connection = profileConnection(s.existing.get(), profile);
    s.settings = settingsOf(connection);
    // NetworkManager would start the profile in memory again by itself once
    // an activation failed, before the run could take it back.
    g_object_set(nm_connection_get_setting_connection(connection), NM_SETTING_CONNECTION_AUTOCONNECT, FALSE, nullptr);
    try {
        s.saved = write(s.nm(), s.existing.get(), settingsOf(connection).get(), false, s.whole(), profile.name);
    } catch (const CliError& error) {
        s.saveUnanswered = error.problem() == Problem::NetworkManagerSilent;
        throw;
    }
}

void Logon::Activate(const Interrupts& interrupts)
{
    State& s = *state_;
    if (interrupts.Caught() == 0)
        s.active.reset(activate(s.nm(), s.saved.get(), s.device.get(), s.interfaceName, s.budget.ForFollowing()));
}

Observation Logon::Follow(const Interrupts& interrupts)
{
    State& s = *state_;
    Observation seen;
    seen.interfaceName = s.interfaceName;
    seen.hearsSupplicant = s.hearsSupplicant;
    seen.seconds = s.whole().seconds;
    if (s.active == nullptr) {
        seen.interruptedBy = interrupts.Caught();
        return seen;
    }
    Progress progress;
    progress.state = nm_active_connection_get_state(s.active.get());
    std::pair<NMDevice*, Progress*> removal{s.device.get(), &progress};
    const Connected deviceState(s.device.get(), "state-changed", G_CALLBACK(onDeviceState), &progress);
    const Connected carrier(s.device.get(), "notify::" NM_DEVICE_ETHERNET_CARRIER, G_CALLBACK(onCarrier), &progress);
    const Connected removed(s.nm(), NM_CLIENT_DEVICE_REMOVED, G_CALLBACK(onDeviceRemoved), &removal);
    Connected activeState(s.active.get(), "state-changed", G_CALLBACK(onActiveState), &progress);

    const Deadline until = s.budget.ForFollowing();
    const auto ended = [&] {
        return s.gone || interrupts.Caught() != 0 || progress.removed ||
               progress.state >= NM_ACTIVE_CONNECTION_STATE_ACTIVATED ||
               (s.hearsSupplicant && s.eap->On(s.interfaceName).failed);
    };
    const auto restartDue = [&] { return progress.restartAt != 0 && g_get_monotonic_time() >= progress.restartAt; };
    int restarts = 0;
    while (!ended()) {
        if (restartDue() && ++restarts > kMostRestarts)
            progress.restartAt = 0;
        if (restartDue()) {
            activeState = Connected();
            s.eap->Forget(s.interfaceName);
            s.active.reset(activate(s.nm(), s.saved.get(), s.device.get(), s.interfaceName, until));
            // What the run's own earlier activation did on leaving is no news.
            progress = Progress{.state = nm_active_connection_get_state(s.active.get())};
            activeState = Connected(s.active.get(), "state-changed", G_CALLBACK(onActiveState), &progress);
            continue;
        }
        const std::int64_t restartAt = progress.restartAt;
        RunUntil([&] { return ended() || progress.restartAt != restartAt; },
                 restartAt != 0 ? std::min(restartAt, until.at) : until.at);
        if (!ended() && g_get_monotonic_time() >= until.at) {
            seen.timedOut = true;
            break;
        }
    }

    seen.interruptedBy = interrupts.Caught();
    seen.networkManagerGone = s.gone;
    if (s.gone)
        return seen;
    seen.activated = progress.state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED;
    const EapProgress eap = s.eap->On(s.interfaceName);
    seen.eapStarted = eap.started;
    seen.eapFailed = eap.failed;
    seen.linkDown = !progress.linkUp || kernelSaysNoLink(s.interfaceName);
    seen.deviceReason = progress.deviceReason;
    seen.reasonName = reasonName(progress.deviceReason);
    // Replaced, not failed: a device that failed has its own reason, and
    // NetworkManager may then try the profile again by itself.
    const bool replaced = progress.state >= NM_ACTIVE_CONNECTION_STATE_DEACTIVATING &&
                          (progress.deviceReason == NM_DEVICE_STATE_REASON_NONE ||
                           progress.deviceReason == NM_DEVICE_STATE_REASON_NEW_ACTIVATION);
    if (NMActiveConnection* taker = replaced ? otherOn(s.nm(), s.device.get(), s.active.get()) : nullptr) {
        s.takenByOther = seen.takenByOther = true;
        s.takerUsesProfile = NM_CONNECTION(nm_active_connection_get_connection(taker)) == NM_CONNECTION(s.saved.get());
    }
    return seen;
}

void Logon::Persist()
{
    State& s = *state_;
    update(s.nm(), s.saved.get(), s.settings.get(), NM_SETTINGS_UPDATE2_FLAG_TO_DISK, s.whole());
}

void Logon::TakeDown()
{
    State& s = *state_;
    if (s.gone || s.takenByOther || s.saved == nullptr)
        return;
    // The run's own activation, and any NetworkManager began of the profile
    // by itself once that one failed.
    std::vector<Owned<NMActiveConnection>> running;
    const GPtrArray* all = nm_client_get_active_connections(s.nm());
    for (guint i = 0; i < all->len; ++i) {
        auto* active = NM_ACTIVE_CONNECTION(all->pdata[i]);
        if (NM_CONNECTION(nm_active_connection_get_connection(active)) == NM_CONNECTION(s.saved.get()) &&
            nm_active_connection_get_state(active) < NM_ACTIVE_CONNECTION_STATE_DEACTIVATING)
            running.push_back(share(active));
    }
    try {
        for (const Owned<NMActiveConnection>& active : running) {
            g_autoptr(GAsyncResult) done = Await(
                [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
                    nm_client_deactivate_connection_async(s.nm(), active.get(), cancellable, callback, data);
                },
                s.whole());
            nm_client_deactivate_connection_finish(s.nm(), done, nullptr);
        }
    } catch (const CliError&) {
        // Not answered in time: the restore below tells what is left.
    }
}

std::optional<CliError> Logon::Restore()
{
    State& s = *state_;
    if (s.saveUnanswered)
        return CliError(Problem::NetworkManagerSilent, std::to_string(s.whole().seconds));
    if (s.saved == nullptr || s.takerUsesProfile)
        return std::nullopt;
    if (s.gone || !networkManagerOnBus(s.nm()))
        return CliError(Problem::NetworkManagerNotRunning);
    try {
        if (s.earlier == nullptr)
            remove(s.nm(), s.saved.get(), s.whole());
        else
            update(s.nm(), s.saved.get(), s.earlier.get(),
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
