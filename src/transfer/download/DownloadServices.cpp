#include "transfer/download/DownloadServices.h"

#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilSession.h"
#include "platform/Log.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "transfer/engine/Network.h"

namespace nb {

namespace {

using HandOver = std::function<bool(SyncManager&, const TransTaskItem&)>;

struct Registry {
  std::mutex mutex;
  std::function<void(const std::string&)> lanQuery;  // guarded by mutex
  HandOver finish;                                     // guarded by mutex
  HandOver outFile;                                    // guarded by mutex
};

Registry& registry() {
  static Registry instance;
  return instance;
}

HandOver registeredHandOver(bool outFile) {
  return [outFile](SyncManager& manager, const TransTaskItem& item) {
    HandOver handOver;
    {
      std::lock_guard lock(registry().mutex);
      handOver = outFile ? registry().outFile : registry().finish;
    }
    if (!handOver) {
      NBLOG_ERROR("download hand-over to the sync engine is not registered: {}", item.strWebpath);
      return false;
    }
    return handOver(manager, item);
  };
}

}  // namespace

void registerDownloadLanQuery(std::function<void(const std::string&)> query) {
  std::lock_guard lock(registry().mutex);
  registry().lanQuery = std::move(query);
}

void registerDownloadHandOver(HandOver finish, HandOver outFile) {
  std::lock_guard lock(registry().mutex);
  registry().finish = std::move(finish);
  registry().outFile = std::move(outFile);
}

DownloadServices DownloadServices::standard() {
  DownloadServices services;
  services.store = &TransPortDB::shareTransPortDB();
  services.cache = &SyncCache::shareSyncCache();
  services.transCache = [] { return UserData::shareUserData().getranscache(); };
  services.userId = [] { return UserData::shareUserData().userID(); };
  services.getUrls = [](std::int64_t mountid, const std::string& filehash,
                        const std::string& webpath, std::int64_t stat) {
    return HTTPEngine::getUrlByFileHash(UserData::shareUserData().userToken(), mountid, filehash,
                                        "", 0, webpath, stat);
  };
  services.queryLan = [](const std::string& filehash) {
    std::function<void(const std::string&)> query;
    {
      std::lock_guard lock(registry().mutex);
      query = registry().lanQuery;
    }
    if (!query) {
      NBLOG_ERROR("LAN who-has query is not registered; {} is fetched from the service only",
                  filehash);
      return;
    }
    query(filehash);
  };
  services.syncManager = [](std::int64_t mountid) {
    return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
  };
  services.downloadFinish = registeredHandOver(false);
  services.downloadFinishOutFile = registeredHandOver(true);
  services.addSpeedTrans = [](std::uint64_t bytes) {
    transfer::Network::shareNetwork().dManager().AddSpeedTrans(bytes);
  };
  services.report = [](const TransTaskItem& item) {
    transfer::Network::shareNetwork().SendCallbackInfoByTransTask(TransDirection::Download, item);
  };
  services.isLinked = [] { return Util::islink(); };
  services.storageDomains = [] { return ServerInfo::current()->storageDomains(); };
  return services;
}

}  // namespace nb
