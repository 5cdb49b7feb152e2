#pragma once
// A loop thread with a stop flag. The body polls stopRequested() between
// passes and waits with sleepFor(), which goes through Clock::current() and
// wakes at once when a stop is requested. The destructor requests the stop
// and joins, so an owner that holds its loop as a member stops it simply by
// going away.

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

namespace nb::platform {

class StoppableThread {
 public:
  using Body = std::function<void(StoppableThread&)>;

  // Starts `body` on a new thread named `name` (the kernel keeps 15 bytes).
  // An exception escaping the body is caught and logged; the thread ends.
  StoppableThread(std::string name, Body body);
  // Requests the stop and joins. Called from the thread itself (its body
  // destroying its owner), it detaches instead of deadlocking.
  ~StoppableThread();

  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  // Sets the stop flag and wakes a sleeping body. Safe from any thread;
  // repeated calls change nothing.
  void requestStop();
  bool stopRequested() const;
  // The flag as a token, for waits elsewhere (MainThread::postAndWait).
  std::stop_token stopToken() const;

  // Sleeps `duration` on the current clock. Answers false when a stop came
  // (before or during the sleep), true when the whole time passed.
  bool sleepFor(std::chrono::nanoseconds duration);

  // Waits for the body to return. Safe to call again, from one thread at a
  // time, never from the body itself.
  void join();

 private:
  // Declared before thread_: the body reads it from its first instruction.
  std::stop_source stop_;
  std::string name_;
  std::thread thread_;
};

}  // namespace nb::platform
