#pragma once
// The thread under each LAN socket: it waits in poll() on the sockets its
// owner lists and on a wake-up descriptor, so that a stop reaches it at once
// instead of at its next time-out.

#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

namespace nb::lan {

class PollLoop {
 public:
  // Called once per pass on the loop's thread: fills the descriptors to wait
  // on (the wake-up descriptor is added by the loop) and answers the longest
  // wait; then `handle` gets the same list with the events that came.
  using Prepare = std::function<std::chrono::milliseconds(std::vector<pollfd>&)>;
  using Handle = std::function<void(const std::vector<pollfd>&)>;

  PollLoop() = default;
  ~PollLoop() { stop(); }
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  // Starts the thread; false when the wake-up descriptor could not be made.
  bool start(std::string name, Prepare prepare, Handle handle);
  // Ends the thread and waits for it. Not from the loop's own thread.
  void stop();

 private:
  void run(const Prepare& prepare, const Handle& handle);

  std::optional<platform::UniqueFd> wake_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace nb::lan
