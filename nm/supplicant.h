#pragma once

#include <gio/gio.h>

#include <map>
#include <string>

#include "run_limits.h"

// What the supplicant itself tells of a logon: NetworkManager reports a
// refused password and a port where nothing answers alike, and only once
// its own timeout has passed.
namespace portauth::nm {

// Whether this process can hear the supplicant. Its D-Bus policy lets only
// root and the netdev group call it or receive its signals, so a call that
// is answered proves both; a refused one, or none, proves nothing.
bool HearsSupplicant(GDBusConnection* bus, const Deadline& deadline);

struct EapProgress {
    bool started = false; // an authenticator asked who is there
    bool failed = false;  // and refused the password
};

// The supplicant's EAP signals, by interface. It reports them on an object
// of its own for each interface, which the watch names as they come.
class EapWatch {
public:
    explicit EapWatch(GDBusConnection* bus);
    ~EapWatch();
    EapWatch(const EapWatch&) = delete;
    EapWatch& operator=(const EapWatch&) = delete;

    EapProgress On(const std::string& interfaceName) const;
    // A new logon begins there: what came before no longer counts.
    void Forget(const std::string& interfaceName);

private:
    struct Source {
        std::string interfaceName; // empty until named
        EapProgress progress;
    };

    static void onEap(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                      GVariant* parameters, gpointer self);
    void name(const std::string& path);

    GDBusConnection* bus_;
    guint subscription_;
    GCancellable* cancellable_;
    std::map<std::string, Source> sources_; // by object path
};

} // namespace portauth::nm
