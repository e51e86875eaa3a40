#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>

#include "run_limits.h"

// Waiting on GLib's main context, never past a deadline.
namespace portauth::nm {

// Drives the main context until `done` holds (true) or `until`, in
// monotonic microseconds, passes (false).
bool RunUntil(const std::function<bool()>& done, std::int64_t until);

// Begins an asynchronous call with `start` and waits for it until
// `deadline`; a call still running then is cancelled. Gives its result, for
// the call's _finish, which reports a cancelled call as G_IO_ERROR_CANCELLED.
// Throws CliError(NetworkManagerSilent) when not even the cancellation
// reports.
using AsyncStart = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;
GAsyncResult* Await(const AsyncStart& start, const Deadline& deadline);

} // namespace portauth::nm
