#include "glib_wait.h"

#include <string>

#include "cli_error.h"

namespace portauth::nm {
namespace {

// A cancelled call reports at the next turn of the main context.
constexpr std::int64_t kCancelledCallMicroseconds = 500'000;

struct Pending {
    GAsyncResult* result = nullptr;
    bool abandoned = false; // the waiter has gone; the late result is dropped
};

void onReady(GObject*, GAsyncResult* result, gpointer data)
{
    auto* pending = static_cast<Pending*>(data);
    if (pending->abandoned) {
        delete pending;
        return;
    }
    pending->result = G_ASYNC_RESULT(g_object_ref(result));
}

} // namespace

bool RunUntil(const std::function<bool()>& done, std::int64_t until)
{
    const std::int64_t left = until - g_get_monotonic_time();
    if (done() || left <= 0)
        return done();
    bool late = false;
    const guint timer = g_timeout_add(
        static_cast<guint>((left + 999) / 1000),
        [](gpointer flag) -> gboolean { return *static_cast<bool*>(flag) = true, G_SOURCE_REMOVE; }, &late);
    while (!done() && !late)
        g_main_context_iteration(nullptr, TRUE);
    if (!late)
        g_source_remove(timer);
    return done();
}

GAsyncResult* Await(const AsyncStart& start, const Deadline& deadline)
{
    g_autoptr(GCancellable) cancellable = g_cancellable_new();
    auto* pending = new Pending;
    start(cancellable, onReady, pending);
    const auto answered = [pending] { return pending->result != nullptr; };
    if (!RunUntil(answered, deadline.at)) {
        g_cancellable_cancel(cancellable);
        RunUntil(answered, g_get_monotonic_time() + kCancelledCallMicroseconds);
    }
    GAsyncResult* result = pending->result;
    if (result == nullptr) {
        pending->abandoned = true;
        throw cli::CliError(cli::Problem::NetworkManagerSilent, std::to_string(deadline.seconds));
    }
    delete pending;
    return result;
}

} // namespace portauth::nm
