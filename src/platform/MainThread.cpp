#include "platform/MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <glib.h>

#include "platform/Log.h"

namespace nb::platform {
namespace {

struct JobQueue {
  std::mutex mutex;
  std::deque<MainThread::Job> jobs;     // guarded by mutex
  bool sourceAttached = false;          // guarded by mutex
  std::mutex attachMutex;
  std::atomic<std::thread::id> mainId{};
};

JobQueue& jobQueue() {
  static JobQueue queue;
  return queue;
}

// Loops started by run(), innermost last. Touched on the main thread only.
std::vector<GMainLoop*>& runningLoops() {
  static std::vector<GMainLoop*> loops;
  return loops;
}

// Set by a quit job so that the jobs queued behind it wait for the next run
// instead of running in the same dispatch. Main thread only.
bool quitInDispatch = false;

void runGuarded(const MainThread::Job& job) {
  try {
    job();
  } catch (const std::exception& e) {
    NBLOG_ERROR("main-thread job threw, dropped: {}", e.what());
  } catch (...) {
    NBLOG_ERROR("main-thread job threw a non-standard exception, dropped");
  }
}

// One idle source drains the queue; it exists only while jobs wait, so an
// idle main loop costs nothing. Each dispatch runs only the jobs present at
// its start, so a job that posts again cannot starve the rest of the loop.
gboolean dispatchJobs(gpointer) {
  JobQueue& queue = jobQueue();
  size_t count = 0;
  {
    std::lock_guard lock(queue.mutex);
    count = queue.jobs.size();
  }
  for (size_t i = 0; i < count; ++i) {
    MainThread::Job job;
    {
      std::lock_guard lock(queue.mutex);
      if (queue.jobs.empty()) break;
      job = std::move(queue.jobs.front());
      queue.jobs.pop_front();
    }
    runGuarded(job);
    if (quitInDispatch) break;
  }
  quitInDispatch = false;
  std::lock_guard lock(queue.mutex);
  if (!queue.jobs.empty()) return G_SOURCE_CONTINUE;
  queue.sourceAttached = false;
  return G_SOURCE_REMOVE;
}

void attachSourceLocked(JobQueue& queue) {
  if (queue.sourceAttached) return;
  GSource* source = g_idle_source_new();
  // Default priority, like timers and I/O: idle priority would let a busy
  // GTK redraw starve posted work.
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(source, dispatchJobs, nullptr, nullptr);
  g_source_attach(source, g_main_context_default());
  g_source_unref(source);
  queue.sourceAttached = true;
  g_main_context_wakeup(g_main_context_default());
}

// What a blocked postAndWait caller and its job share.
struct Rendezvous {
  std::mutex mutex;
  std::condition_variable_any cv;
  bool started = false;    // the job began: the caller must now wait it out
  bool ran = false;
  bool abandoned = false;  // the caller gave up before the job began
};

}  // namespace

bool MainThread::attach() {
  JobQueue& queue = jobQueue();
  std::lock_guard lock(queue.attachMutex);
  const auto self = std::this_thread::get_id();
  const auto current = queue.mainId.load();
  if (current == self) return true;
  if (current != std::thread::id{}) {
    NBLOG_ERROR("another thread is already the main thread");
    return false;
  }
  if (!g_main_context_acquire(g_main_context_default())) {
    NBLOG_ERROR("the default main context is owned by another thread");
    return false;
  }
  queue.mainId.store(self);
  return true;
}

bool MainThread::isMainThread() {
  return jobQueue().mainId.load() == std::this_thread::get_id();
}

void MainThread::post(Job job) {
  if (!job) return;
  JobQueue& queue = jobQueue();
  std::lock_guard lock(queue.mutex);
  queue.jobs.push_back(std::move(job));
  attachSourceLocked(queue);
}

bool MainThread::postAndWait(Job job, std::stop_token stop) {
  if (!job) return false;
  if (isMainThread()) {
    runGuarded(job);
    return true;
  }
  auto meeting = std::make_shared<Rendezvous>();
  post([meeting, job = std::move(job)] {
    {
      std::lock_guard lock(meeting->mutex);
      if (meeting->abandoned) return;
      meeting->started = true;
    }
    runGuarded(job);
    {
      std::lock_guard lock(meeting->mutex);
      meeting->ran = true;
    }
    meeting->cv.notify_all();
  });
  std::unique_lock lock(meeting->mutex);
  if (meeting->cv.wait(lock, stop, [&] { return meeting->ran; })) return true;
  if (meeting->started) {
    // Too late to drop it: the job is running with the caller's data.
    meeting->cv.wait(lock, [&] { return meeting->ran; });
    return true;
  }
  meeting->abandoned = true;
  return false;
}

bool MainThread::run() {
  if (!attach()) return false;
  std::unique_ptr<GMainLoop, decltype(&g_main_loop_unref)> loop(
      g_main_loop_new(g_main_context_default(), FALSE), &g_main_loop_unref);
  runningLoops().push_back(loop.get());
  g_main_loop_run(loop.get());
  runningLoops().pop_back();
  return true;
}

void MainThread::quit() {
  post([] {
    if (runningLoops().empty()) return;
    g_main_loop_quit(runningLoops().back());
    quitInDispatch = true;
  });
}

}  // namespace nb::platform
