#pragma once
// The one queue the copy monitors run on.

#include <memory>

#include "platform/OperationQueue.h"

namespace nb {

class ProgressManager {
 public:
  static constexpr int kWidth = 12;

  static ProgressManager& sharedInstance();

  // Queues the monitor. Any thread.
  void addProgress(std::shared_ptr<platform::Operation> operation) {
    progressQueue_.addOperation(std::move(operation));
  }
  platform::OperationQueue& progressQueue() { return progressQueue_; }

 private:
  ProgressManager() : progressQueue_(kWidth) {}

  platform::OperationQueue progressQueue_;
};

}  // namespace nb
