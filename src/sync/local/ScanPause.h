#pragma once
// The short pause a local scan takes between steps, so that walking a large
// tree leaves the disk and the processor to the rest of the system.
//
// The sleeper is process-wide and replaceable for tests (a test clock's
// sleep would otherwise wait for a hand that never moves it). Safe from any
// thread.

#include <chrono>
#include <functional>

namespace nb {

class ScanPause {
 public:
  static constexpr std::chrono::milliseconds kPause{10};
  using Sleeper = std::function<void(std::chrono::milliseconds)>;

  // Sleeps kPause through the installed sleeper, else the process clock.
  static void pause();
  // Installs a sleeper (null: the process clock again); answers the one
  // it replaced.
  static Sleeper setSleeper(Sleeper sleeper);
};

}  // namespace nb
