#pragma once
// One client per user session. The first process takes the instance lock
// (Util::didProgressLaunched) and listens on a socket beside it; a later
// launch finds the lock held and forwards what it was started for (a vep://
// URL, or a re-open for a plain launcher click) over that socket before it
// gives up. A relaunch after a log-out waits for the lock instead, since the
// old process may still be ending.
//
// A socket rather than a session-bus name: it works where no session bus
// runs (a bare X server, a remote shell) and needs nothing but the runtime
// folder the lock already lives in.
//
// Threads: the listener hands each message to the main thread.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace nb {

class SingleInstance {
 public:
  // What a second launch forwards when it carries no URL.
  static constexpr const char* kReopen = "reopen";

  // Takes the instance lock, trying again for up to `wait`; false when
  // another process still holds it.
  static bool acquire(const std::string& bundleIdentifier, std::chrono::milliseconds wait);
  // Sends `message` to the running process; false when none listens.
  static bool forward(const std::string& bundleIdentifier, const std::string& message);
  // The socket path ("" when the identifier cannot name a file).
  static std::string socketPath(const std::string& bundleIdentifier);

  // Listens until destroyed; each message reaches `onMessage` on the main
  // thread. Call after acquire() succeeded: a socket file left by an ended
  // process is replaced.
  SingleInstance(const std::string& bundleIdentifier,
                 std::function<void(const std::string& message)> onMessage);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  bool listening() const { return service_ != nullptr; }

 private:
  struct Handler;
  std::unique_ptr<Handler> handler_;
  void* service_ = nullptr;  // GSocketService
  std::string path_;
};

}  // namespace nb
