#include "transfer/jobs/AddScan.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "api/models/TransportItem.h"
#include "api/session/TransActionCounter.h"
#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/IgnoreRules.h"
#include "sync/operations/AddScan.h"
#include "sync/operations/Network.h"

namespace nb::transfer {

void AddScan::main() {
  {
    TransActionScope bulk;
    {
      TransPortDB::Transaction transaction(TransPortDB::shareTransPortDB());
      const std::shared_ptr<SyncManager> manager =
          SyncCenter::shareSyncCenter().GetSyncManager(nMountid);
      if (!manager) {
        AddUploadSubFiles(strWebpath, strFullpath, strWebpath);
      } else {
        // The manager walks the tree itself: its items become sync records,
        // and it answers to its own list of folders being added.
        {
          Syncdb::Transaction rows(manager->syncdb());
          manager->AddUploadSubFiles(strWebpath, strFullpath, strWebpath);
        }
        manager->deladlist(strWebpath);
      }
    }
    nb::Network::shareNetwork()->SendCallbackAction(TransDirection::Upload, "reget");
  }
  TransPortDB::shareTransPortDB().addTaskDirFinish(nMountid, strWebpath, strFullpath);
}

void registerAddScanStarter() {
  setAddScanStarter([](std::int64_t mountid, const std::string& webpath, const std::string& fullpath) {
    const auto queue = Util::getAppDelegate()->taskQueue();
    if (!queue) {
      NBLOG_ERROR("no task queue: the add of {} is not queued", fullpath);
      return false;
    }
    queue->addOperation(std::make_shared<AddScan>(mountid, webpath, fullpath));
    return true;
  });
}

bool AddScan::AddUploadSubFiles(const std::string& webpath, const std::string& fullpath,
                                const std::string& parent) {
  struct stat top {};
  if (::stat(fullpath.c_str(), &top) != 0 || !S_ISDIR(top.st_mode)) return true;
  std::vector<FolderId> chain{{top.st_dev, top.st_ino}};
  return walk(webpath, fullpath, parent, chain);
}

bool AddScan::walk(const std::string& webpath, const std::string& fullpath,
                   const std::string& parent, std::vector<FolderId>& chain) {
  TransPortDB& store = TransPortDB::shareTransPortDB();
  const std::string folder = lastaddslash(fullpath);
  for (const std::string& name : Util::entryNames(folder)) {
    if (isCancelled()) return false;
    if (name.empty() || name.front() == '.' || isigonoresys("/" + name)) continue;
    const std::string local = folder + name;
    struct stat st {};
    if (::stat(local.c_str(), &st) != 0) continue;
    const bool dir = S_ISDIR(st.st_mode);
    if (!dir && !S_ISREG(st.st_mode)) continue;
    const FolderId id{st.st_dev, st.st_ino};
    if (dir && std::find(chain.begin(), chain.end(), id) != chain.end()) {
      NBLOG_INFO("{} leads back into a folder being added; not entered", local);
      continue;
    }

    TransportItem item;
    item.nMountid = nMountid;
    item.strWebpath = webpath.empty() ? name : webpath + "/" + name;
    item.strFullpath = local;
    item.bDir = dir;
    item.ullLast = st.st_mtime > 0 ? static_cast<std::uint64_t>(st.st_mtime) : 0;
    item.nStatus = kTransWaiting;
    item.ullFilesize = dir ? 0 : static_cast<std::uint64_t>(st.st_size);
    store.Add_Upload(item, parent);
    if (!dir) continue;
    chain.push_back(id);
    const bool whole = walk(item.strWebpath, local, parent, chain);
    chain.pop_back();
    if (!whole) return false;
  }
  return true;
}

}  // namespace nb::transfer
