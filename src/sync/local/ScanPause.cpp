#include "sync/local/ScanPause.h"

#include <mutex>

#include "platform/Clock.h"

namespace nb {
namespace {

std::mutex sleeperMutex;
ScanPause::Sleeper installed;  // guarded by sleeperMutex

}  // namespace

void ScanPause::pause() {
  Sleeper sleeper;
  {
    std::lock_guard lock(sleeperMutex);
    sleeper = installed;
  }
  if (sleeper) {
    sleeper(kPause);
  } else {
    platform::sleepFor(kPause);
  }
}

ScanPause::Sleeper ScanPause::setSleeper(Sleeper sleeper) {
  std::lock_guard lock(sleeperMutex);
  std::swap(installed, sleeper);
  return sleeper;
}

}  // namespace nb
