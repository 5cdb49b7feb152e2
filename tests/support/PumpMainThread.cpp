#include "support/PumpMainThread.h"

#include <memory>

#include <glib.h>

#include "platform/MainThread.h"

namespace nb::test {

void pumpMainThread() {
  platform::MainThread::attach();
  while (g_main_context_iteration(g_main_context_default(), FALSE)) {
  }
}

bool pumpMainThreadUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  platform::MainThread::attach();
  // Other threads may make done() true without touching the context, so a
  // short ticker keeps the blocking iteration from sleeping through it.
  std::unique_ptr<GSource, decltype(&g_source_destroy)> ticker(g_timeout_source_new(5),
                                                               &g_source_destroy);
  g_source_set_callback(ticker.get(), [](gpointer) { return gboolean{G_SOURCE_CONTINUE}; },
                        nullptr, nullptr);
  g_source_attach(ticker.get(), g_main_context_default());
  g_source_unref(ticker.get());  // the context keeps it until destroyed

  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    g_main_context_iteration(g_main_context_default(), TRUE);
  }
  return true;
}

void pumpMainThreadFor(std::chrono::milliseconds span) {
  platform::MainThread::attach();
  bool over = false;
  g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(span.count()),
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return gboolean{G_SOURCE_REMOVE};
      },
      &over, nullptr);
  while (!over) g_main_context_iteration(g_main_context_default(), TRUE);
}

}  // namespace nb::test
