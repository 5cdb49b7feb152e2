#pragma once
// The migration of an install that still has the previous store layout,
// run before the session starts: the sign-in check queues it when the
// user's folder holds the older catalogue. The migration ends by posting
// the sign-in check again (UserData::changeOldVersion), which then finds no
// older catalogue and starts the session.

#include "platform/Operation.h"
#include "platform/OperationQueue.h"

namespace nb {

class CheckOldVersion final : public platform::Operation {
 public:
  void main() override;
};

// Queues a CheckOldVersion on `queue`; false when it did not take it.
bool queueCheckOldVersion(platform::OperationQueue& queue);

// Queues a CheckOldVersion on the application's task queue; false when no
// queue took it.
bool queueCheckOldVersion();

}  // namespace nb
