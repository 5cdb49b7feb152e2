#include "api/session/UserData.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "transfer/engine/Network.h"
#include "transfer/lan/LanContent.h"

namespace nb::lan {
namespace {

class SharedLanContent final : public LanContent {
 public:
  std::string cachePath(const std::string& filehash) override {
    return SyncCache::shareSyncCache().getFullPathByFileHash(filehash);
  }
  bool decryptCache(const std::string& entry, const std::string& target) override {
    return SyncCache::shareSyncCache().copyDecrypt(entry, target);
  }
  std::string decryptFolder() override { return UserData::shareUserData().getDecryptPath(); }
  std::string syncedPath(const std::string& filehash) override {
    return SyncCenter::shareSyncCenter().get_local_hash(filehash);
  }
  std::string finishedPath(const std::string& filehash) override {
    return TransPortDB::shareTransPortDB().Check_DownloadFinishByHash(filehash);
  }
  std::optional<RunningDownload> running(const std::string& filehash) override {
    DownloadManager& manager = transfer::Network::shareNetwork().dManager();
    const auto file = manager.GetDownloadInfo(filehash);
    if (!file) return std::nullopt;
    const auto have = manager.GetDownloadHaveInfo(filehash);
    // The task may have ended between the two questions.
    if (!have) return std::nullopt;
    return RunningDownload{file->temppath, file->filesize, have->bHttpAble, have->bHttpStart,
                           have->have};
  }
};

}  // namespace

std::shared_ptr<LanContent> sharedLanContent() {
  static const std::shared_ptr<LanContent> content = std::make_shared<SharedLanContent>();
  return content;
}

}  // namespace nb::lan
