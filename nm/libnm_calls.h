#pragma once

#include <glib.h>
extern "C" {
// The one libnm header without C++ guards; NetworkManager.h includes it.
#include <nm-errors.h>
}
#include <NetworkManager.h>

#include <memory>
#include <string>
#include <utility>

#include "run_limits.h"

// libnm's calls as this program makes them: each one bounded by a deadline,
// each failure a CliError, and what they hand out owned.
namespace portauth::nm {

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

// Asked of the bus, which answers even when NetworkManager hangs.
bool NetworkManagerOnBus(NMClient* client);

// Throws CliError: NetworkManagerNotRunning, or NetworkManagerSilent when it
// does not answer in time.
Owned<NMClient> Reach(const Deadline& deadline);

// Settings as NetworkManager's calls take them, secrets included.
OwnedVariant SettingsOf(NMConnection* connection);

// The profile's settings with the secrets NetworkManager keeps for it: what
// it takes to give it back as it was.
OwnedVariant SettingsWithSecrets(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline);

void Update(NMClient* client, NMRemoteConnection* profile, GVariant* settings, NMSettingsUpdate2Flags flags,
            const Deadline& deadline);
Owned<NMRemoteConnection> Add(NMClient* client, GVariant* settings, NMSettingsAddConnection2Flags flags,
                              const Deadline& deadline, const std::string& name);
void Remove(NMClient* client, NMRemoteConnection* profile, const Deadline& deadline);
Owned<NMActiveConnection> Activate(NMClient* client, NMRemoteConnection* profile, NMDevice* device,
                                   const std::string& interfaceName, const Deadline& deadline);
void Deactivate(NMClient* client, NMActiveConnection* active, const Deadline& deadline);

// The client's copy of the device's state can lag the link by a moment,
// the kernel's cannot.
bool KernelSaysNoLink(const std::string& interfaceName);

} // namespace portauth::nm
