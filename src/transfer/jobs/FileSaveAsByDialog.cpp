#include "transfer/jobs/FileSaveAsByDialog.h"

#include <optional>

#include "api/models/RetFileList.h"
#include "api/models/TransportItem.h"
#include "foundation/app/AppState.h"
#include "stores/transfer/TransPortDB.h"
#include "transfer/jobs/SaveBatch.h"
#include "transfer/jobs/SaveFolderList.h"

namespace nb::transfer {

void FileSaveAsByDialog::main() {
  runSaveBatch(_saveItems, [this](const SaveItem& item, TransportItem& record) {
    if (item._dir) {
      GetFileList(item._webpath, item._mountid, _messageID, _dialogID, item._fullpath);
      record.bDir = true;
    } else {
      record.ullFilesize = item.ullFileSize;
      record.strFilehash = item.strFileHash;
      record.nStat = 1;
    }
    TransPortDB::shareTransPortDB().Add_Download(record);
  });
}

void FileSaveAsByDialog::GetFileList(const std::string& webpath, std::int64_t mountid,
                                     const std::string& messageid, const std::string& dialogid,
                                     const std::string& savepath) {
  SaveFolderList::Source source;
  source.mountid = mountid;
  source.messageid = messageid;
  source.dialogid = dialogid;
  // Only each entry's own property decides in a chat dialog.
  source.permission = 0;
  source.onFailure = [](const RetFileList& ret) {
    Util::getAppDelegate()->setGrowlNotificationDescripation(ret.strErrorMsg(), std::nullopt);
  };
  SaveFolderList(TransPortDB::shareTransPortDB(), std::move(source)).queueFolder(webpath, savepath);
}

}  // namespace nb::transfer
