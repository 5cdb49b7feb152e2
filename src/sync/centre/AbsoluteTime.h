#pragma once
// The engine's "absolute time" (the ft* fields and the coordinator's
// stamps): seconds of the injectable clock's monotonic time, as a double.
// Only differences mean anything; a test clock may read less than any
// interval, so "never" is kept apart from 0 where it matters.

#include <chrono>

#include "platform/Clock.h"

namespace nb {

inline double absoluteTime() {
  return std::chrono::duration<double>(platform::monotonicNow().time_since_epoch()).count();
}

}  // namespace nb
