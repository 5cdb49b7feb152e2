#pragma once
// Unlinks a linked folder that holds a folder the user may not download,
// then tells the user with a modal alert (SyncAlert.h) that blocks this
// task-queue worker until it is closed. Holds its manager like
// CompareFileList.

#include <memory>
#include <string>

#include "platform/Operation.h"

namespace nb {

class SyncManager;

class CheckDownloadSyncMode final : public platform::Operation {
 public:
  static constexpr const char* kUnlinkedText =
      "同步目录[%@]下含有无下载权限的文件夹，同步目录自动取消绑定！";
  static constexpr const char* kButtonText = "我知道了";

  CheckDownloadSyncMode(std::shared_ptr<SyncManager> manager, std::string webpath)
      : _manager(std::move(manager)), _webpath(std::move(webpath)) {}

  const std::shared_ptr<SyncManager>& manager() const { return _manager; }
  const std::string& webpath() const { return _webpath; }

 protected:
  void main() override;

 private:
  // The alert, waited for.
  void message() const;

  const std::shared_ptr<SyncManager> _manager;
  const std::string _webpath;
};

}  // namespace nb
