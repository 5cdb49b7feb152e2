#include "transfer/engine/TaskOperation.h"

#include <exception>

#include "platform/Log.h"
#include "transfer/records/TransferRecords.h"

namespace nb {

TaskOperation::TaskOperation(std::shared_ptr<TransferTask> task, ExceptionHandler onException,
                             EndHandler onEnd)
    : task_(std::move(task)), onException_(std::move(onException)), onEnd_(std::move(onEnd)) {}

void TaskOperation::main() {
  bool threw = false;
  try {
    task_->run();
  } catch (const std::exception& e) {
    NBLOG_ERROR("transfer {} ended by an exception: {}", task_->nIndex(), e.what());
    threw = true;
  } catch (...) {
    NBLOG_ERROR("transfer {} ended by an unknown exception", task_->nIndex());
    threw = true;
  }
  if (threw && onException_ && !task_->bDelete()) {
    try {
      onException_(*task_);
    } catch (...) {
      NBLOG_ERROR("transfer {}: recording its failure failed", task_->nIndex());
    }
  }
  task_->setNStatus(kTransEnded);
  if (onEnd_) onEnd_();
}

}  // namespace nb
