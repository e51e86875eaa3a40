#include "glib_wait.h"

#include <glib-unix.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "cli_error.h"
#include "run_limits.h"

namespace portauth::nm {
namespace {

// NetworkManager answers a local call within milliseconds. This much is
// kept back from following an activation for taking the run back, but never
// more than a fifth of the whole.
constexpr std::int64_t kTakeBackMicroseconds = 2'000'000;

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

Budget::Budget(std::chrono::seconds total)
    : seconds_(total.count()), deadline_(g_get_monotonic_time() + seconds_ * G_USEC_PER_SEC)
{
}

void Budget::Pause()
{
    pausedAt_ = g_get_monotonic_time();
}

void Budget::Resume()
{
    deadline_ += g_get_monotonic_time() - pausedAt_;
}

Deadline Budget::ForFollowing() const
{
    return {deadline_ - std::min<std::int64_t>(kTakeBackMicroseconds, seconds_ * G_USEC_PER_SEC / 5), seconds_};
}

Interrupts::Interrupts()
{
    watches_.reserve(3);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Watch& watch = watches_.emplace_back(Watch{this, signal, 0});
        watch.source = g_unix_signal_add(
            signal,
            [](gpointer data) -> gboolean {
                const Watch& caught = *static_cast<Watch*>(data);
                if (caught.owner->caught_ == 0)
                    caught.owner->caught_ = caught.signal;
                return G_SOURCE_CONTINUE;
            },
            &watch);
    }
}

Interrupts::~Interrupts()
{
    // GLib gives a signal its default action back once no source watches it.
    for (const Watch& watch : watches_)
        g_source_remove(watch.source);
}

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
