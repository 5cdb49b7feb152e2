#include "platform/Operation.h"

namespace nb::platform {

void Operation::cancel() { cancelled_.store(true); }

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
