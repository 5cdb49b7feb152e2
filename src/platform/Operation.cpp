#include "platform/Operation.h"

#include <algorithm>

namespace nb::platform {

void Operation::cancel() { cancelled_.store(true); }

void Operation::addDependency(std::shared_ptr<Operation> other) {
  if (!other || other.get() == this) return;
  std::lock_guard lock(dependencyMutex_);
  dependencies_.push_back(std::move(other));
}

bool Operation::isReady() const {
  std::lock_guard lock(dependencyMutex_);
  return std::all_of(dependencies_.begin(), dependencies_.end(),
                     [](const auto& dependency) { return dependency->isFinished(); });
}

bool Operation::markFinished() {
  if (finished_.exchange(true)) return false;
  executing_.store(false);
  return true;
}

void Operation::finish() {
  if (!markFinished()) return;
  std::shared_ptr<detail::OperationQueueCore> queue;
  {
    std::lock_guard lock(queueMutex_);
    queue = queue_.lock();
  }
  if (queue) detail::operationFinished(*queue, *this);
}

}  // namespace nb::platform
