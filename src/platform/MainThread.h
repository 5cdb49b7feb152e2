#pragma once
// The main thread: the one thread that owns and iterates GLib's default main
// context (g_main_context_default()). GTK runs its loop there when windows
// exist; headless runs use run()/quit() below; tests pump it by hand
// (tests/support/PumpMainThread.h).
//
// Which thread is "main": the first thread that calls attach(), directly or
// through run() or the test pump. attach() acquires the default context for
// good, so no other thread can iterate it afterwards. The program calls
// attach() first thing in main(); until some thread attached, isMainThread()
// answers false everywhere and posted jobs wait.
//
// Jobs posted from any thread run on the main thread in the order they were
// posted (one FIFO for all posting threads). An exception thrown by a job is
// caught, logged and dropped; the loop goes on.

#include <functional>
#include <stop_token>

namespace nb::platform {

class MainThread {
 public:
  using Job = std::function<void()>;

  MainThread() = delete;

  // Designates the calling thread as the main thread and acquires the
  // default main context for it. Answers true on that thread (again on
  // repeated calls), false (and logs) when another thread is already main.
  static bool attach();

  // True on the attached main thread only. Safe from any thread.
  static bool isMainThread();

  // Queues `job` to run on the main thread and returns at once. Safe from
  // any thread, the main thread included (the job then runs later, never
  // inline). An empty job is ignored.
  static void post(Job job);

  // Runs `job` on the main thread and returns once it ran. On the main
  // thread it runs inline. From another thread it is posted and the caller
  // blocks until it ran; when `stop` is requested first, the caller returns
  // at once and the job is dropped (it will not run later). Answers true when
  // the job ran (even if it threw), false when it was dropped.
  //
  // Never call this from a thread the main thread may be waiting for (for
  // example while the main thread joins it) without passing that thread's
  // stop token: that would deadlock.
  static bool postAndWait(Job job, std::stop_token stop = {});

  // Attaches the calling thread and runs the default main loop on it until
  // quit(). Answers false at once when another thread is main.
  static bool run();

  // Ends the innermost run() once the jobs posted before this call ran.
  // Safe from any thread. The quit is itself a posted job: posted before
  // run() it ends that run as soon as it starts; dispatched while no run()
  // is active (a test pump), it does nothing.
  static void quit();
};

}  // namespace nb::platform
