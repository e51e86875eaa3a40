#include "supplicant.h"

#include <memory>

#include "glib_wait.h"

namespace portauth::nm {
namespace {

constexpr const char* kSupplicant = "fi.w1.wpa_supplicant1";
constexpr const char* kSupplicantPath = "/fi/w1/wpa_supplicant1";
constexpr const char* kInterfaceInterface = "fi.w1.wpa_supplicant1.Interface";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

struct Naming {
    EapWatch* watch;
    std::string path;
};

} // namespace

bool HearsSupplicant(GDBusConnection* bus, const Deadline& deadline)
{
    g_autoptr(GAsyncResult) done = Await(
        [bus](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_call(bus, kSupplicant, kSupplicantPath, kProperties, "Get",
                                   g_variant_new("(ss)", kSupplicant, "Interfaces"), G_VARIANT_TYPE("(v)"),
                                   G_DBUS_CALL_FLAGS_NONE, -1, cancellable, callback, data);
        },
        deadline);
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(bus, done, nullptr);
    return reply != nullptr;
}

EapWatch::EapWatch(GDBusConnection* bus)
    : bus_(bus),
      subscription_(g_dbus_connection_signal_subscribe(bus, kSupplicant, kInterfaceInterface, "EAP", nullptr, nullptr,
                                                       G_DBUS_SIGNAL_FLAGS_NONE, onEap, this, nullptr)),
      cancellable_(g_cancellable_new())
{
}

EapWatch::~EapWatch()
{
    g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
}

EapProgress EapWatch::On(const std::string& interfaceName) const
{
    EapProgress seen;
    for (const auto& [path, source] : sources_) {
        if (source.interfaceName != interfaceName)
            continue;
        seen.started = seen.started || source.progress.started;
        seen.failed = seen.failed || source.progress.failed;
    }
    return seen;
}

void EapWatch::Forget(const std::string& interfaceName)
{
    for (auto& [path, source] : sources_) {
        if (source.interfaceName == interfaceName || source.interfaceName.empty())
            source.progress = {};
    }
}

void EapWatch::onEap(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                     GVariant* parameters, gpointer self)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)")))
        return;
    const gchar* status = nullptr;
    const gchar* parameter = nullptr;
    g_variant_get(parameters, "(&s&s)", &status, &parameter);
    auto& watch = *static_cast<EapWatch*>(self);
    const auto [source, isNew] = watch.sources_.try_emplace(path);
    EapProgress& progress = source->second.progress;
    progress.started = progress.started || g_str_equal(status, "started");
    progress.failed = progress.failed || (g_str_equal(status, "completion") && g_str_equal(parameter, "failure"));
    if (isNew)
        watch.name(path);
}

// Asked once an object speaks: the signal itself does not name its interface.
void EapWatch::name(const std::string& path)
{
    g_dbus_connection_call(
        bus_, kSupplicant, path.c_str(), kProperties, "Get", g_variant_new("(ss)", kInterfaceInterface, "Ifname"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, cancellable_,
        [](GObject* bus, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Naming> naming(static_cast<Naming*>(data));
            g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
            g_autoptr(GVariant) name = nullptr;
            if (reply == nullptr) // cancelled too: the watch may be gone
                return;
            g_variant_get(reply, "(v)", &name);
            if (g_variant_is_of_type(name, G_VARIANT_TYPE_STRING))
                naming->watch->sources_[naming->path].interfaceName = g_variant_get_string(name, nullptr);
        },
        new Naming{this, path});
}

} // namespace portauth::nm
