#include "network_manager.h"

#include <glib.h>
extern "C" {
// The one libnm header without C++ guards; NetworkManager.h includes it.
#include <nm-errors.h>
}
#include <NetworkManager.h>

#include <fstream>
#include <functional>
#include <set>

#include "cli_error.h"

namespace portauth::cli {
namespace {

// One try of ten seconds: an authenticator answers an EAP-MD5 logon within
// a second or two, even through a slow RADIUS server, and another try only
// sends the same password again. NetworkManager's own 3 tries of 25 s each
// made a refused password take 75 s to tell.
constexpr int kAuthTimeoutSeconds = 10;
constexpr int kAuthRetries = 1;

constexpr const char* kSupplicant = "fi.w1.wpa_supplicant1";
constexpr const char* kSupplicantInterface = "fi.w1.wpa_supplicant1.Interface";

// Runs the main loop until the call that `start` begins has finished.
GAsyncResult* finished(const std::function<void(GAsyncReadyCallback, gpointer)>& start)
{
    GAsyncResult* result = nullptr;
    start([](GObject*, GAsyncResult* done,
             gpointer slot) { *static_cast<GAsyncResult**>(slot) = G_ASYNC_RESULT(g_object_ref(done)); },
          &result);
    while (result == nullptr)
        g_main_context_iteration(nullptr, TRUE);
    return result;
}

[[noreturn]] void notWritten(const std::string& name, const std::string& why)
{
    throw CliError(Problem::ConnectionNotWritten, "\"" + name + "\": " + why);
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

void applyProfile(NMConnection* connection, const WiredProfile& profile)
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

std::string interfaceAt(GDBusConnection* bus, const char* path)
{
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, kSupplicant, path, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kSupplicantInterface, "Ifname"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        2000, nullptr, nullptr);
    g_autoptr(GVariant) name = nullptr;
    if (reply != nullptr)
        g_variant_get(reply, "(v)", &name);
    return name != nullptr && g_variant_is_of_type(name, G_VARIANT_TYPE_STRING) ? g_variant_get_string(name, nullptr)
                                                                                : "";
}

// The interfaces on which the network answered EAP-Failure, as the
// supplicant tells it. NetworkManager reports a refused password and a
// port where nothing answers alike, and only once its timeout has passed:
// this tells them apart, and at once.
class EapFailures {
public:
    explicit EapFailures(GDBusConnection* bus)
        : bus_(bus), subscription_(g_dbus_connection_signal_subscribe(bus, kSupplicant, kSupplicantInterface, "EAP",
                                                                      nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                                      onEap, this, nullptr))
    {
    }
    EapFailures(const EapFailures&) = delete;
    EapFailures& operator=(const EapFailures&) = delete;
    ~EapFailures() { g_dbus_connection_signal_unsubscribe(bus_, subscription_); }
    bool on(const std::string& interfaceName) const { return interfaces_.count(interfaceName) != 0; }

private:
    static void onEap(GDBusConnection* bus, const gchar*, const gchar* path, const gchar*, const gchar*,
                      GVariant* parameters, gpointer self)
    {
        const gchar* status = nullptr;
        const gchar* parameter = nullptr;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)")))
            return;
        g_variant_get(parameters, "(&s&s)", &status, &parameter);
        if (g_str_equal(status, "completion") && g_str_equal(parameter, "failure"))
            static_cast<EapFailures*>(self)->interfaces_.insert(interfaceAt(bus, path));
    }

    GDBusConnection* bus_;
    guint subscription_;
    std::set<std::string> interfaces_;
};

struct Progress {
    guint state;
    guint deviceReason = NM_DEVICE_STATE_REASON_NONE; // why the device failed, or lost its link
    bool timedOut = false;
};

void onStateChanged(NMActiveConnection*, guint state, guint, gpointer progress)
{
    static_cast<Progress*>(progress)->state = state;
}

// The activation's own reason says only "device disconnected"; the
// device's tells why.
void onDeviceStateChanged(NMDevice*, guint state, guint, guint reason, gpointer progress)
{
    if (state == NM_DEVICE_STATE_FAILED || state == NM_DEVICE_STATE_UNAVAILABLE)
        static_cast<Progress*>(progress)->deviceReason = reason;
}

NMDevice* deviceOf(NMActiveConnection* active)
{
    const GPtrArray* devices = nm_active_connection_get_devices(active);
    return devices != nullptr && devices->len > 0 ? NM_DEVICE(devices->pdata[0]) : nullptr;
}

// Follows the activation until it is up, has failed, the network refused
// the password, or the time is over.
Progress follow(NMActiveConnection* active, NMDevice* device, const EapFailures& eapFailures,
                std::chrono::seconds timeout)
{
    Progress progress{static_cast<guint>(nm_active_connection_get_state(active))};
    const gulong handler = g_signal_connect(active, "state-changed", G_CALLBACK(onStateChanged), &progress);
    const gulong deviceHandler = g_signal_connect(device, "state-changed", G_CALLBACK(onDeviceStateChanged), &progress);
    const guint timer = g_timeout_add_seconds(
        static_cast<guint>(timeout.count()),
        [](gpointer flag) { return *static_cast<bool*>(flag) = true, G_SOURCE_REMOVE; }, &progress.timedOut);
    while (!progress.timedOut && progress.state <= NM_ACTIVE_CONNECTION_STATE_ACTIVATING &&
           !eapFailures.on(nm_device_get_iface(device)))
        g_main_context_iteration(nullptr, TRUE);
    g_signal_handler_disconnect(active, handler);
    g_signal_handler_disconnect(device, deviceHandler);
    if (!progress.timedOut)
        g_source_remove(timer);
    return progress;
}

// The client's copy of the device's state can lag the link by a moment,
// the kernel's cannot: a link that went just before the activation counts.
bool hasNoLink(NMDevice* device)
{
    if (nm_device_get_state(device) < NM_DEVICE_STATE_DISCONNECTED)
        return true;
    std::ifstream carrier("/sys/class/net/" + std::string(nm_device_get_iface(device)) + "/carrier");
    char state = '1';
    return carrier >> state && state == '0';
}

// NetworkManager names a device without its link, on which the connection
// cannot come up, in more than one way.
CliError activationRefused(const GError* error, NMDevice* device)
{
    const bool noDevice = g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_UNKNOWN_DEVICE) ||
                          g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE) ||
                          (device != nullptr && hasNoLink(device));
    return CliError(noDevice ? Problem::DeviceUnavailable : Problem::ConnectionNotActivated, error->message);
}

} // namespace

NetworkManager::NetworkManager()
{
    g_autoptr(GError) error = nullptr;
    client_ = nm_client_new(nullptr, &error);
    if (client_ == nullptr)
        throw CliError(Problem::NetworkManagerNotRunning, error->message);
    if (!nm_client_get_nm_running(client_)) {
        g_object_unref(client_);
        throw CliError(Problem::NetworkManagerNotRunning, "it is not on the system bus");
    }
}

NetworkManager::~NetworkManager()
{
    g_object_unref(client_);
}

void NetworkManager::Save(const WiredProfile& profile)
{
    g_object_unref(save(profile, false));
}

NMRemoteConnection* NetworkManager::save(const WiredProfile& profile, bool blockAutoconnect)
{
    NMRemoteConnection* existing = nm_client_get_connection_by_id(client_, profile.name.c_str());
    if (existing != nullptr && !nm_connection_is_type(NM_CONNECTION(existing), NM_SETTING_WIRED_SETTING_NAME))
        notWritten(profile.name, "not a wired connection");
    g_autoptr(NMConnection) connection = existing != nullptr ? nm_simple_connection_new_clone(NM_CONNECTION(existing))
                                                             : newWiredConnection(profile.name);
    applyProfile(connection, profile);
    GVariant* settings = nm_connection_to_dbus(connection, NM_CONNECTION_SERIALIZE_ALL);
    g_autoptr(GError) error = nullptr;
    if (existing != nullptr) {
        const auto flags = static_cast<NMSettingsUpdate2Flags>(
            NM_SETTINGS_UPDATE2_FLAG_TO_DISK | (blockAutoconnect ? NM_SETTINGS_UPDATE2_FLAG_BLOCK_AUTOCONNECT : 0));
        g_autoptr(GAsyncResult) done = finished([&](GAsyncReadyCallback callback, gpointer slot) {
            nm_remote_connection_update2(existing, settings, flags, nullptr, nullptr, callback, slot);
        });
        g_autoptr(GVariant) result = nm_remote_connection_update2_finish(existing, done, &error);
        if (result == nullptr)
            notWritten(profile.name, error->message);
        return NM_REMOTE_CONNECTION(g_object_ref(existing));
    }
    const auto flags = static_cast<NMSettingsAddConnection2Flags>(
        NM_SETTINGS_ADD_CONNECTION2_FLAG_TO_DISK |
        (blockAutoconnect ? NM_SETTINGS_ADD_CONNECTION2_FLAG_BLOCK_AUTOCONNECT : 0));
    g_autoptr(GAsyncResult) done = finished([&](GAsyncReadyCallback callback, gpointer slot) {
        nm_client_add_connection2(client_, settings, flags, nullptr, TRUE, nullptr, callback, slot);
    });
    NMRemoteConnection* added = nm_client_add_connection2_finish(client_, done, nullptr, &error);
    if (added == nullptr)
        notWritten(profile.name, error->message);
    return added;
}

std::string NetworkManager::Connect(const WiredProfile& profile, std::chrono::seconds timeout)
{
    NMDevice* device = nullptr;
    if (profile.interfaceName) {
        device = nm_client_get_device_by_iface(client_, profile.interfaceName->c_str());
        if (device == nullptr)
            throw CliError(Problem::DeviceUnavailable, *profile.interfaceName + ": no such device");
    }
    const EapFailures eapFailures(nm_client_get_dbus_connection(client_));
    // Saved with autoconnect held back, so that the activation below is the
    // only one: the one whose outcome is told.
    g_autoptr(NMRemoteConnection) saved = save(profile, true);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GAsyncResult) started = finished([&](GAsyncReadyCallback callback, gpointer slot) {
        nm_client_activate_connection_async(client_, NM_CONNECTION(saved), device, nullptr, nullptr, callback, slot);
    });
    g_autoptr(NMActiveConnection) active = nm_client_activate_connection_finish(client_, started, &error);
    if (active == nullptr)
        throw activationRefused(error, device);
    if (device == nullptr)
        device = deviceOf(active);
    if (device == nullptr)
        throw CliError(Problem::ConnectionNotActivated, "no device");
    const std::string interfaceName = nm_device_get_iface(device);
    const Progress progress = follow(active, device, eapFailures, timeout);
    if (progress.state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED)
        return interfaceName;
    if (eapFailures.on(interfaceName)) {
        // NetworkManager would go on waiting for its timeout, and then ask
        // a desktop's password dialog: the answer is already known.
        g_autoptr(GAsyncResult) stopped = finished([&](GAsyncReadyCallback callback, gpointer slot) {
            nm_client_deactivate_connection_async(client_, active, nullptr, callback, slot);
        });
        nm_client_deactivate_connection_finish(client_, stopped, nullptr);
        throw CliError(Problem::PasswordRefused, interfaceName);
    }
    if (progress.timedOut)
        throw CliError(Problem::ConnectTimedOut, std::to_string(timeout.count()));
    // A link lost just before the activation began leaves the device
    // unavailable without a change of state to tell why.
    if (progress.deviceReason == NM_DEVICE_STATE_REASON_NONE && hasNoLink(device))
        throw CliError(Problem::DeviceUnavailable, interfaceName + ": no carrier");
    switch (progress.deviceReason) {
    case NM_DEVICE_STATE_REASON_NO_SECRETS:
    case NM_DEVICE_STATE_REASON_SUPPLICANT_TIMEOUT:
        throw CliError(Problem::NoAuthenticator, interfaceName);
    case NM_DEVICE_STATE_REASON_CARRIER:
        throw CliError(Problem::DeviceUnavailable, interfaceName + ": no carrier");
    default:
        throw CliError(Problem::ConnectionNotActivated, interfaceName + ": device reason " +
                                                            std::to_string(progress.deviceReason));
    }
}

} // namespace portauth::cli
