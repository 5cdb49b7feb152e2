#pragma once
// The queue operation that runs one transfer task. It keeps exceptions from
// crossing the queue: a body that throws is logged and its record is put
// into a state from which the engine goes on (the manager's `onException`),
// so the record neither shows running for ever nor spins. The item is set
// to kTransEnded afterwards in every case, which lets the manager drop it;
// then the end handler tells the manager that a slot is free.

#include <functional>
#include <memory>

#include "platform/Operation.h"
#include "transfer/engine/TransferTask.h"

namespace nb {

class TaskOperation final : public platform::Operation {
 public:
  // Called on the queue thread with the task whose body threw.
  using ExceptionHandler = std::function<void(TransferTask& task)>;

  // Called on the queue thread once the item is kTransEnded.
  using EndHandler = std::function<void()>;

  TaskOperation(std::shared_ptr<TransferTask> task, ExceptionHandler onException,
                EndHandler onEnd = {});

  const std::shared_ptr<TransferTask>& task() const { return task_; }

 protected:
  void main() override;

 private:
  const std::shared_ptr<TransferTask> task_;
  const ExceptionHandler onException_;
  const EndHandler onEnd_;
};

}  // namespace nb
