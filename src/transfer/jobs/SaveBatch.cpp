#include "transfer/jobs/SaveBatch.h"

#include "api/session/TransActionCounter.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/operations/Network.h"
#include "sync/operations/TransferNotices.h"

namespace nb::transfer {

void runSaveBatch(const std::vector<SaveItem>& items, const QueueSaveItem& queueItem) {
  {
    TransActionScope bulk;
    TransPortDB& store = TransPortDB::shareTransPortDB();
    TransPortDB::Transaction transaction(store);
    for (const SaveItem& item : items) {
      store.addTaskDir(item._mountid, item._webpath, item._fullpath);
      transferNotice("开始下载［%@］", item._webpath);
      TransportItem record;
      record.nMountid = item._mountid;
      record.strWebpath = item._webpath;
      record.strFullpath = item._fullpath;
      record.nStatus = kTransWaiting;
      queueItem(item, record);
      store.addTaskDirFinish(item._mountid, item._webpath, item._fullpath);
    }
  }
  nb::Network::shareNetwork()->SendCallbackAction(TransDirection::Download, "reget");
}

}  // namespace nb::transfer
