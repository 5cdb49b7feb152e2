#pragma once
// Drives the main thread's GLib context by hand, for tests that need no
// display and no running loop. Both helpers make the calling thread the main
// thread (MainThread::attach) on first use.

#include <chrono>
#include <functional>

namespace nb::test {

// Dispatches everything ready on the default main context now, including the
// jobs that the dispatched work posts in turn, until nothing is ready.
void pumpMainThread();

// Iterates the default main context until `done()` holds. `limit` is real
// time and only a safety net, so that a broken test fails instead of hanging;
// answers done().
bool pumpMainThreadUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds limit = std::chrono::seconds(30));

// Runs the default main context for `span` as the program's main loop does:
// asleep until a source is ready or the span ends. No ticker wakes it, so
// a measurement of an idle session counts only the session's own wake-ups.
void pumpMainThreadFor(std::chrono::milliseconds span);

}  // namespace nb::test
