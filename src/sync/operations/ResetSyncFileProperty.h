#pragma once
// Making the local copies of a subtree writable or read-only, carried onto
// the application's task queue. Holds its manager like CompareFileList.

#include <memory>
#include <string>

#include "platform/Operation.h"

namespace nb {

class SyncManager;

class ResetSyncFileProperty final : public platform::Operation {
 public:
  ResetSyncFileProperty(std::shared_ptr<SyncManager> manager, std::string webpath, bool write)
      : _manager(std::move(manager)), _webpath(std::move(webpath)), _write(write) {}

  const std::shared_ptr<SyncManager>& manager() const { return _manager; }
  const std::string& webpath() const { return _webpath; }
  bool write() const { return _write; }

 protected:
  // setNormalFilePropertyLower of the manager.
  void main() override;

 private:
  const std::shared_ptr<SyncManager> _manager;
  const std::string _webpath;
  const bool _write;
};

}  // namespace nb
