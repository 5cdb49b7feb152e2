#include "http/engine/NetworkThread.h"

#include <future>
#include <thread>

namespace nb::http {

CurlDriver& NetworkThread::driver() {
  // The thread and its driver live for the whole process: asynchronous work
  // may be posted until exit, so neither is ever torn down.
  static CurlDriver* const instance = [] {
    std::promise<CurlDriver*> made;
    auto ready = made.get_future();
    std::thread([made = std::move(made)]() mutable {
      auto* driver = new CurlDriver();
      made.set_value(driver);
      for (;;) driver->runOnce(std::chrono::seconds(1));
    }).detach();
    return ready.get();
  }();
  return *instance;
}

}  // namespace nb::http
