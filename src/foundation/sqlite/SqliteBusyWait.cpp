#include "foundation/sqlite/SqliteBusyWait.h"

#include <atomic>
#include <thread>

#include "platform/Log.h"

namespace nb {

namespace {
std::atomic<std::chrono::milliseconds::rep> gWarningAfterMs{10'000};
}  // namespace

BusyWait::BusyWait(const char* operation, std::string path, int retryLimit)
    : operation_(operation),
      path_(std::move(path)),
      retryLimit_(retryLimit),
      start_(std::chrono::steady_clock::now()) {}

void BusyWait::setWarningAfter(std::chrono::milliseconds after) {
  gWarningAfterMs = after.count();
}

bool BusyWait::retry() {
  if (retryLimit_ > 0 && ++retries_ > retryLimit_) {
    NBSQLLOG("{} Database busy ({})", operation_, path_);
    NBSQLLOG("Database busy");
    return false;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(20));
  if (!warned_) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    if (waited.count() > gWarningAfterMs.load()) {
      warned_ = true;
      NBSQLLOG("{}: database locked for {} ms so far, still waiting ({})", operation_,
               waited.count(), path_);
    }
  }
  return true;
}

}  // namespace nb
