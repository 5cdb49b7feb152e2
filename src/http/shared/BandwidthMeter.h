#pragma once
// Process-wide traffic bookkeeping of the request library: bytes counted per
// one-second window with a short history and its average, the throttling
// limit, and the number of transfers running (whether the network is in use).

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/Clock.h"

namespace nb::http {

class BandwidthMeter {
 public:
  static BandwidthMeter& shared();

  // Called on every status check and stream event: closes the window when
  // its end passed, and sets the throttling wake-up time when a limit is
  // exceeded.
  void measureBandwidthUsage();
  void incrementBandwidthUsedInLastSecond(uint64_t bytes);
  uint64_t averageBandwidthUsedPerSecond();
  uint64_t maxBandwidthPerSecond();
  void setMaxBandwidthPerSecond(uint64_t bytes);

  bool isBandwidthThrottled();
  // How many body bytes one read may take now under the limit; 0 when no
  // limit is set, or when the budget of the window is spent (then the
  // wake-up time is the window's end).
  uint64_t maxUploadReadLength();
  // The wake-up time of throttled transfers; nothing when none is set.
  std::optional<platform::Clock::Monotonic> throttleWakeUpTime();
  uint64_t bandwidthUsedInLastSecond();

  // A transfer starts or stops counting as running. The first one shows
  // the network activity indicator; when the last one stops, the indicator
  // is hidden half a second later on the main thread unless traffic resumed.
  void requestScheduled();
  void requestUnscheduled();
  bool isNetworkInUse();
  void setShouldUpdateNetworkActivityIndicator(bool update);

  // The indicator hooks. This desktop has no system-wide network activity
  // indicator: they only tell the observer, when one is set (true: shown).
  using ActivityObserver = std::function<void(bool shown)>;
  void setNetworkActivityObserver(ActivityObserver observer);
  void showNetworkActivityIndicator();
  void hideNetworkActivityIndicator();
  // On the main thread.
  void hideNetworkActivityIndicatorAfterDelay();
  void hideNetworkActivityIndicatorIfNeeeded();

  // For tests: back to the state at start.
  void resetForTesting();

 private:
  // Runs with bandwidthThrottlingLock_ held.
  void recordBandwidthUsage();

  std::mutex bandwidthThrottlingLock_;  // not recursive
  uint64_t maxBandwidthPerSecond_ = 0;
  uint64_t bandwidthUsedInLastSecond_ = 0;
  std::optional<platform::Clock::Monotonic> bandwidthMeasurementDate_;
  std::deque<uint64_t> bandwidthUsageTracker_;
  uint64_t averageBandwidthUsedPerSecond_ = 0;
  std::optional<platform::Clock::Monotonic> throttleWakeUpTime_;

  // Guarded by ConnectionPool::connectionsLock().
  int runningRequestCount_ = 0;
  bool shouldUpdateNetworkActivityIndicator_ = true;
  std::mutex observerLock_;
  ActivityObserver activityObserver_;  // guarded by observerLock_
};

}  // namespace nb::http
