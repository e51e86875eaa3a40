#include "run_limits.h"

#include <glib-unix.h>

#include <algorithm>
#include <csignal>

namespace portauth::nm {
namespace {

// NetworkManager answers a local call within milliseconds. This much is
// kept back from following an activation for taking the run back, but never
// more than a fifth of the whole.
constexpr std::int64_t kTakeBackMicroseconds = 2'000'000;

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

} // namespace portauth::nm
