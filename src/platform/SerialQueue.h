#pragma once
// A serial queue whose jobs run on the caller's thread: `sync` waits for its
// turn, runs the job while holding the queue, and returns when it finished.
// Turns are handed out in submission order (a ticket lock), so a caller that
// arrived first is served first; a plain mutex would let late arrivals barge.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace nb::platform {

class SerialQueue {
 public:
  // `label` only names the queue in diagnostics.
  explicit SerialQueue(std::string label);
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  // Runs `job` on the calling thread once every earlier job of this queue has
  // finished. A job that calls `sync` on its own queue (directly or through
  // other queues) would wait for itself for ever; that call is refused and
  // logged instead, and answers false. An exception thrown by the job is
  // caught and logged here. Answers true when the job ran. Thread-safe.
  bool sync(const std::function<void()>& job);

  // True while the calling thread runs a job of this queue.
  bool isCurrent() const;

  // Callers that hold a turn: the running job plus those waiting. For
  // diagnostics and tests.
  uint64_t pending() const;

  const std::string& label() const { return label_; }

 private:
  const std::string label_;

  mutable std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t nextTicket_ = 0;        // guarded by mutex_
  uint64_t serving_ = 0;           // guarded by mutex_
  std::thread::id owner_;          // guarded by mutex_; the thread running a job
};

}  // namespace nb::platform
