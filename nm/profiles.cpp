#include "profiles.h"

#include <algorithm>
#include <vector>

#include "cli_error.h"

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

} // namespace

NMRemoteConnection* ExistingProfile(NMClient* client, const std::string& name)
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

bool HasCarrier(NMDevice* device)
{
    return nm_device_ethernet_get_carrier(NM_DEVICE_ETHERNET(device)) != FALSE;
}

NMDevice* ChosenDevice(NMClient* client, const std::optional<std::string>& interfaceName,
                       NMRemoteConnection* profile)
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
        wired.erase(std::remove_if(wired.begin(), wired.end(), [](NMDevice* device) { return !HasCarrier(device); }),
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

NMRemoteConnection* UpOn(NMDevice* device)
{
    NMActiveConnection* active = nm_device_get_active_connection(device);
    if (active == nullptr || nm_active_connection_get_state(active) != NM_ACTIVE_CONNECTION_STATE_ACTIVATED ||
        (nm_active_connection_get_state_flags(active) & NM_ACTIVATION_STATE_FLAG_EXTERNAL) != 0)
        return nullptr;
    return nm_active_connection_get_connection(active);
}

NMConnection* ProfileConnection(NMRemoteConnection* existing, const cli::WiredProfile& profile)
{
    NMConnection* connection =
        existing != nullptr ? nm_simple_connection_new_clone(NM_CONNECTION(existing)) : newWiredConnection(profile.name);
    applyProfile(connection, profile);
    return connection;
}

Owned<NMRemoteConnection> Write(NMClient* client, NMRemoteConnection* existing, GVariant* settings, bool toDisk,
                                const Deadline& deadline, const std::string& name)
{
    if (existing != nullptr) {
        Update(client, existing, settings,
               toDisk ? NM_SETTINGS_UPDATE2_FLAG_TO_DISK
                      : static_cast<NMSettingsUpdate2Flags>(NM_SETTINGS_UPDATE2_FLAG_IN_MEMORY |
                                                            NM_SETTINGS_UPDATE2_FLAG_BLOCK_AUTOCONNECT),
               deadline);
        return share(existing);
    }
    return Add(client, settings,
               toDisk ? NM_SETTINGS_ADD_CONNECTION2_FLAG_TO_DISK
                      : static_cast<NMSettingsAddConnection2Flags>(NM_SETTINGS_ADD_CONNECTION2_FLAG_IN_MEMORY |
                                                                   NM_SETTINGS_ADD_CONNECTION2_FLAG_BLOCK_AUTOCONNECT),
               deadline, name);
}

} // namespace portauth::nm
