#include "http/shared/BandwidthMeter.h"

#include <numeric>

#include <glib.h>

#include "http/pool/ConnectionPool.h"
#include "platform/MainThread.h"

namespace nb::http {

namespace {
using Seconds = std::chrono::duration<double>;
}

BandwidthMeter& BandwidthMeter::shared() {
  static BandwidthMeter meter;
  return meter;
}

void BandwidthMeter::measureBandwidthUsage() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  const auto now = platform::monotonicNow();
  if (!bandwidthMeasurementDate_ || *bandwidthMeasurementDate_ < now) recordBandwidthUsage();
  if (maxBandwidthPerSecond_ > 0 && bandwidthUsedInLastSecond_ > maxBandwidthPerSecond_) {
    const double over = static_cast<double>(bandwidthUsedInLastSecond_ - maxBandwidthPerSecond_) /
                        static_cast<double>(maxBandwidthPerSecond_);
    throttleWakeUpTime_ = *bandwidthMeasurementDate_ +
                          std::chrono::duration_cast<std::chrono::nanoseconds>(Seconds(over));
  }
}

void BandwidthMeter::recordBandwidthUsage() {
  const auto now = platform::monotonicNow();
  if (bandwidthUsedInLastSecond_ == 0) {
    bandwidthUsageTracker_.clear();
  } else if (bandwidthMeasurementDate_) {
    double t = Seconds(*bandwidthMeasurementDate_ - now).count();
    while (!bandwidthUsageTracker_.empty() && (t < 0 || bandwidthUsageTracker_.size() >= 6)) {
      bandwidthUsageTracker_.pop_front();
      t += 1;
    }
  }
  bandwidthUsageTracker_.push_back(bandwidthUsedInLastSecond_);
  bandwidthMeasurementDate_ = now + std::chrono::seconds(1);
  bandwidthUsedInLastSecond_ = 0;
  const uint64_t sum =
      std::accumulate(bandwidthUsageTracker_.begin(), bandwidthUsageTracker_.end(), uint64_t{0});
  averageBandwidthUsedPerSecond_ = sum / bandwidthUsageTracker_.size();
}

void BandwidthMeter::incrementBandwidthUsedInLastSecond(uint64_t bytes) {
  std::lock_guard lock(bandwidthThrottlingLock_);
  bandwidthUsedInLastSecond_ += bytes;
}

uint64_t BandwidthMeter::averageBandwidthUsedPerSecond() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  return averageBandwidthUsedPerSecond_;
}

uint64_t BandwidthMeter::maxBandwidthPerSecond() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  return maxBandwidthPerSecond_;
}

void BandwidthMeter::setMaxBandwidthPerSecond(uint64_t bytes) {
  std::lock_guard lock(bandwidthThrottlingLock_);
  maxBandwidthPerSecond_ = bytes;
}

bool BandwidthMeter::isBandwidthThrottled() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  return maxBandwidthPerSecond_ != 0;
}

uint64_t BandwidthMeter::maxUploadReadLength() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  const uint64_t limit = maxBandwidthPerSecond_;
  if (limit == 0) return 0;
  uint64_t allowance = limit / 4;
  if (bandwidthUsedInLastSecond_ + allowance > limit) {
    allowance = bandwidthUsedInLastSecond_ > limit ? 0 : limit - bandwidthUsedInLastSecond_;
  }
  if (allowance != 0 && bandwidthMeasurementDate_ &&
      *bandwidthMeasurementDate_ >= platform::monotonicNow()) {
    return allowance;
  }
  throttleWakeUpTime_ = bandwidthMeasurementDate_;
  return allowance;
}

std::optional<platform::Clock::Monotonic> BandwidthMeter::throttleWakeUpTime() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  return throttleWakeUpTime_;
}

uint64_t BandwidthMeter::bandwidthUsedInLastSecond() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  return bandwidthUsedInLastSecond_;
}

void BandwidthMeter::requestScheduled() {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  ++runningRequestCount_;
  if (shouldUpdateNetworkActivityIndicator_) showNetworkActivityIndicator();
}

void BandwidthMeter::requestUnscheduled() {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  --runningRequestCount_;
  if (runningRequestCount_ == 0 && shouldUpdateNetworkActivityIndicator_) {
    platform::MainThread::post([this] { hideNetworkActivityIndicatorAfterDelay(); });
  }
}

void BandwidthMeter::setNetworkActivityObserver(ActivityObserver observer) {
  std::lock_guard lock(observerLock_);
  activityObserver_ = std::move(observer);
}

void BandwidthMeter::showNetworkActivityIndicator() {
  std::lock_guard lock(observerLock_);
  if (activityObserver_) activityObserver_(true);
}

void BandwidthMeter::hideNetworkActivityIndicator() {
  std::lock_guard lock(observerLock_);
  if (activityObserver_) activityObserver_(false);
}

void BandwidthMeter::hideNetworkActivityIndicatorAfterDelay() {
  g_timeout_add(
      500,
      [](gpointer meter) -> gboolean {
        static_cast<BandwidthMeter*>(meter)->hideNetworkActivityIndicatorIfNeeeded();
        return G_SOURCE_REMOVE;
      },
      this);
}

void BandwidthMeter::hideNetworkActivityIndicatorIfNeeeded() {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  if (runningRequestCount_ == 0) hideNetworkActivityIndicator();
}

bool BandwidthMeter::isNetworkInUse() {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  return runningRequestCount_ != 0;
}

void BandwidthMeter::setShouldUpdateNetworkActivityIndicator(bool update) {
  std::lock_guard lock(ConnectionPool::connectionsLock());
  shouldUpdateNetworkActivityIndicator_ = update;
}

void BandwidthMeter::resetForTesting() {
  std::lock_guard lock(bandwidthThrottlingLock_);
  maxBandwidthPerSecond_ = 0;
  bandwidthUsedInLastSecond_ = 0;
  bandwidthMeasurementDate_.reset();
  bandwidthUsageTracker_.clear();
  averageBandwidthUsedPerSecond_ = 0;
  throttleWakeUpTime_.reset();
}

}  // namespace nb::http
