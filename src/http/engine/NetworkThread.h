#pragma once
// The one network thread of the request library: made on first use, never
// ended, it owns the CurlDriver on which every asynchronous request runs.

#include "http/engine/CurlDriver.h"

namespace nb::http {

class NetworkThread {
 public:
  NetworkThread() = delete;

  // The network thread's driver, starting the thread on first use (once,
  // also when many threads ask at the same time). Use it from other threads
  // only through post() and wakeup().
  static CurlDriver& driver();
};

}  // namespace nb::http
