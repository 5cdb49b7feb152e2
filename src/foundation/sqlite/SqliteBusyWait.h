#pragma once
// The layer's answer to SQLITE_BUSY / SQLITE_LOCKED: no busy handler is set
// inside SQLite, so each operation that meets one sleeps 20 us and tries
// again itself. One BusyWait follows one such wait.

#include <chrono>
#include <string>

namespace nb {

class BusyWait {
 public:
  // `operation` and `path` only name the wait in log lines. `retryLimit` 0
  // means wait as long as the lock lasts.
  BusyWait(const char* operation, std::string path, int retryLimit);

  // Sleeps before the next try. Answers false once `retryLimit` retries were
  // spent (after logging that the database is busy). A wait that passes the
  // warning threshold is logged once, so a stuck lock shows in the log.
  bool retry();

  // The threshold of the stuck-lock line (10 s); tests shorten it.
  static void setWarningAfter(std::chrono::milliseconds after);

 private:
  const char* operation_;
  std::string path_;
  int retryLimit_;
  int retries_ = 0;
  bool warned_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace nb
