#pragma once
// The upload direction: waiting uploads in the store's order, one running
// upload per library and path.

#include "transfer/engine/ManagerBase.h"

namespace nb {

class UploadManager final : public ManagerBase {
 public:
  explicit UploadManager(Context context);
  ~UploadManager() override;

  // Whether a running upload of another record has the item's library and
  // web path (letter case kept).
  bool CheckHaveUploading(const TransTaskItem& item);

 protected:
  std::vector<TransTaskItem> fetchWaiting() override;
  void markStarted(std::int64_t id) override;
  void resetErrors() override;
  bool waitForWork(platform::StoppableThread& thread) override;
  std::chrono::milliseconds emptyPollSleep() const override;
  bool heldBackLocked(const TransTaskItem& item) const override;
  void onTaskException(TransferTask& task) override;
};

}  // namespace nb
