#pragma once
// A message bus of a test's own: a dbus-daemon started for the test, with
// no activatable services, stopped when this goes. Connect to it with
// connect(); nothing in the process's environment points at it.
//
// Unlike GTestDBus, this forks no watcher process: GTestDBus forks one that
// runs on in the child of a process that already has threads (the fake
// service's), and under the sanitizers that child deadlocks at its exit on a
// lock another thread held at the fork. ctest then waits for its output pipe,
// which the orphan keeps open, until the time-out. The daemon here is exec'd
// at once and ends with the test process (parent-death signal).
//
// Threads: make, use and drop on one thread.

#include <string>

#include <gio/gio.h>
#include <sys/types.h>

namespace nb::test {

class PrivateBus {
 public:
  // Starts the daemon; address() is empty (and the test failed) when it
  // could not be started.
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return address_; }
  // A new connection to this bus as a message-bus client (with a unique
  // name); null when it cannot connect. The caller owns the reference.
  GDBusConnection* connect() const;

 private:
  std::string folder_;
  std::string address_;
  pid_t pid_ = -1;
};

}  // namespace nb::test
