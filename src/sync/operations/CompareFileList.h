#pragma once
// The first listing of a library folder, carried onto the application's
// task queue so that the page or server item that asked does not wait.
// The operation holds its manager: it runs even when the manager has left
// the centre's registry meanwhile.

#include <memory>
#include <string>

#include "platform/Operation.h"

namespace nb {

class SyncManager;

class CompareFileList final : public platform::Operation {
 public:
  CompareFileList(std::shared_ptr<SyncManager> manager, std::string webpath, bool check)
      : _manager(std::move(manager)), _webpath(std::move(webpath)), _bCheck(check) {}

  const std::shared_ptr<SyncManager>& manager() const { return _manager; }
  const std::string& webpath() const { return _webpath; }
  bool bCheck() const { return _bCheck; }

 protected:
  // firstCompareFileList of the manager.
  void main() override;

 private:
  const std::shared_ptr<SyncManager> _manager;
  const std::string _webpath;
  const bool _bCheck;
};

}  // namespace nb
