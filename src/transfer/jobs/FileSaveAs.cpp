#include "transfer/jobs/FileSaveAs.h"

#include <memory>

#include "api/calls/HTTPEngine.h"
#include "api/models/RetOpen.h"
#include "api/models/TransportItem.h"
#include "api/session/UserData.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "transfer/jobs/SaveBatch.h"
#include "transfer/jobs/SaveFolderList.h"

namespace nb::transfer {

void FileSaveAs::main() {
  runSaveBatch(_saveItems, [](const SaveItem& item, TransportItem& record) {
    const std::shared_ptr<SyncManager> manager =
        SyncCenter::shareSyncCenter().GetSyncManager(item._mountid);
    if (item._dir) {
      GetFileList(item._webpath, item._mountid, item._fullpath);
      record.bDir = true;
      TransPortDB::shareTransPortDB().Add_Download(record);
    } else {
      queueFile(item, record);
    }
    if (manager) manager->SendUpdateFileInfoByWebpath(item._webpath);
  });
}

void FileSaveAs::queueFile(const SaveItem& item, TransportItem& record) {
  const RetOpen ret = HTTPEngine::getFileOpen(UserData::shareUserData().userToken(), item._webpath,
                                              item._mountid, item._hid, 0, 0);
  if (ret.nStatusCode() != 200) {
    NBLOG_WARN("cannot save {} of library {}: open answered {} {}", item._webpath, item._mountid,
               ret.nStatusCode(), ret.nErrorCode());
    return;
  }
  record.ullFilesize = ret.ullFileSize;
  record.strFilehash = ret.strFileHash;
  record.nStat = 0;
  TransPortDB::shareTransPortDB().Add_Download(record);
}

void FileSaveAs::GetFileList(const std::string& webpath, std::int64_t mountid,
                             const std::string& savepath) {
  const std::shared_ptr<SyncManager> manager = SyncCenter::shareSyncCenter().GetSyncManager(mountid);
  SaveFolderList::Source source;
  source.mountid = mountid;
  source.permission = manager ? manager->nPermissions.load() : 0;
  SaveFolderList(TransPortDB::shareTransPortDB(), std::move(source)).queueFolder(webpath, savepath);
}

}  // namespace nb::transfer
