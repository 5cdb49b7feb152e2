#pragma once
// Watches whether one host can be reached and calls an action at every
// change: the desktop's network monitor says the network changed, then an
// asynchronous reach test for the host decides which action runs. The
// actions run on the monitor's own serial worker, never on the main thread:
// the reachable action refreshes tokens synchronously.
//
// Threads: made and stopped on the main thread (the monitor's signals arrive
// there).

#include <functional>
#include <memory>
#include <string>

#include "platform/OperationQueue.h"

namespace nb {

class Reachability : public std::enable_shared_from_this<Reachability> {
 public:
  using Action = std::function<void()>;

  // A monitor for `host` ("name" or "name:port"); null when the name is empty.
  static std::shared_ptr<Reachability> reachabilityWithHostname(const std::string& host);

  explicit Reachability(std::string host);
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  void setReachableBlock(Action action) { reachableBlock_ = std::move(action); }
  void setUnreachableBlock(Action action) { unreachableBlock_ = std::move(action); }
  // False when the desktop offers no network monitor.
  bool startNotifier();
  void stopNotifier();
  // One change: runs the matching action on the worker (a missing one is
  // skipped). Also the entry of a reach test's answer.
  void reachabilityChanged(bool reachable);

 private:
  void check();

  const std::string host_;
  Action reachableBlock_;
  Action unreachableBlock_;
  std::shared_ptr<platform::OperationQueue> queue_;  // width 1 while notifying
  unsigned long handler_ = 0;  // the monitor's signal handler id
};

}  // namespace nb
