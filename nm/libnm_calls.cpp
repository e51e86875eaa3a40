#include "libnm_calls.h"

#include <fstream>

#include "cli_error.h"
#include "glib_wait.h"

namespace portauth::nm {
namespace {

using cli::CliError;
using cli::Problem;

std::string quoted(const std::string& name)
{
    return "\"" + name + "\": ";
}

std::string quoted(NMRemoteConnection* profile)
{
    return quoted(nm_connection_get_id(NM_CONNECTION(profile)));
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
    if (!NetworkManagerOnBus(client))
        throw CliError(Problem::NetworkManagerNotRunning);
    if (noAnswer(error))
        throw CliError(Problem::NetworkManagerSilent, std::to_string(deadline.seconds));
    throw CliError(otherwise, detail + error->message);
}

} // namespace

bool NetworkManagerOnBus(NMClient* client)
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

Owned<NMClient> Reach(const Deadline& deadline)
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

OwnedVariant SettingsOf(NMConnection* connection)
{
    return OwnedVariant(g_variant_ref_sink(nm_connection_to_dbus(connection, NM_CONNECTION_SERIALIZE_ALL)));
}

OwnedVariant SettingsWithSecrets(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline)
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
    return SettingsOf(copy);
}

void Update(NMClient* client, NMRemoteConnection* profile, GVariant* settings, NMSettingsUpdate2Flags flags,
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
        fail(client, error, deadline, Problem::ConnectionNotWritten, quoted(profile));
}

Owned<NMRemoteConnection> Add(NMClient* client, GVariant* settings, NMSettingsAddConnection2Flags flags,
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
    return Owned<NMRemoteConnection>(added);
}

void Remove(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [profile](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_remote_connection_delete_async(profile, cancellable, callback, data);
        },
        deadline);
    g_autoptr(GError) error = nullptr;
    if (!nm_remote_connection_delete_finish(profile, done, &error))
        fail(client, error, deadline, Problem::ConnectionNotWritten, quoted(profile));
}

bool KernelSaysNoLink(const std::string& interfaceName)
{
    std::ifstream carrier("/sys/class/net/" + interfaceName + "/carrier");
    char state = '1';
    return carrier >> state && state == '0';
}

Owned<NMActiveConnection> Activate(NMClient* client, NMRemoteConnection* profile, NMDevice* device,
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
        return Owned<NMActiveConnection>(active);
    // NetworkManager names a device without its link in more than one way.
    if (NetworkManagerOnBus(client) && !noAnswer(error) &&
        (g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_UNKNOWN_DEVICE) ||
         g_error_matches(error, NM_MANAGER_ERROR, NM_MANAGER_ERROR_CONNECTION_NOT_AVAILABLE) ||
         KernelSaysNoLink(interfaceName)))
        throw CliError(Problem::DeviceUnavailable, interfaceName + ": " + error->message);
    fail(client, error, deadline, Problem::ConnectionNotActivated, interfaceName + ": ");
}

void Deactivate(NMClient* client, NMActiveConnection* active, const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            nm_client_deactivate_connection_async(client, active, cancellable, callback, data);
        },
        deadline);
    nm_client_deactivate_connection_finish(client, done, nullptr);
}

} // namespace portauth::nm
