// Working the paths marked for an immediate re-read (the SYNCEDNOW queue):
// a file is asked for alone, a folder's feed is read again from where its
// last re-read got to.
#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/Network.h"
#include "sync/server/FeedPaths.h"

namespace nb {
namespace {

constexpr int64_t kEntryGone = 40402;
constexpr int64_t kEntryRefused = 40003;
// An entry under way; a new mark of the path writes it back to 0.
constexpr int64_t kEntryUnderWay = 1;

void rereadFile(SyncManager& m, const SyncNow& entry) {
  Syncdb& store = m.syncdb();
  store.update_sync_nowtype(entry.strWebPath, false);
  const RetFileInfo ret = HTTPEngine::getFileInfo(UserData::shareUserData().userToken(),
                                                  entry.strWebPath, m._nMountID(), "", 0);
  if (ret.nStatusCode() == 200 && ret.pItem) {
    if (isSafeEntryPath(ret.pItem->strWebPath)) {
      std::lock_guard hold(m);
      m.receive_add(*ret.pItem, nullptr, false, true);
    }
    m.overwrite().removeNode(entry.strWebPath);
    store.del_sync_now(entry.strWebPath, false);
  } else if (ret.nErrorCode() == kEntryGone || ret.nErrorCode() == kEntryRefused) {
    {
      std::lock_guard hold(m);
      store.del_file(entry.strWebPath);
      TransPortDB::shareTransPortDB().RemoveWebpathUnFinish(m._nMountID(), entry.strWebPath);
    }
    store.del_sync_now(entry.strWebPath, false);
  }
  // Any other failure leaves the entry under way for the next pass.
}

void rereadFolder(SyncManager& m, const SyncNow& entry) {
  Syncdb& store = m.syncdb();
  const SyncVersion cursor{cursorPathOfEntry(entry.strWebPath), entry.ullDateline, 1, true};
  if (entry.ullDateline == 0) store.update_sync_nowtype(entry.strWebPath, true);
  Network::shareNetwork()->ClearTrans(entry.strWebPath, m._nMountID());
  if (!m.receive_server_version({cursor}, false, true)) return;
  // Marked again while it ran (type back to 0): its reset marks stay for
  // the next re-read.
  if (store.get_sync_nowtype(entry.strWebPath, true) == kEntryUnderWay) {
    store.delete_for_reset(entry.strWebPath);
    store.del_sync_now(entry.strWebPath, true);
  }
  m.scanlink(entry.strWebPath);
  m.mark_file_delete(entry.strWebPath);
  m.overwrite().removeNode(entry.strWebPath);
}

}  // namespace

void SyncManager::comparenow() {
  const std::vector<SyncNow> entries = syncdb_->get_sync_now();
  if (entries.empty()) return;
  for (const auto& entry : entries) {
    if (bOut_) return;
    if (entry.bDir) {
      rereadFolder(*this, entry);
    } else {
      rereadFile(*this, entry);
    }
  }
  if (const auto event = PageEvent::fromJsonText("UpdateFileList", "{}")) {
    for (const auto& view : Util::getAppDelegate()->checkCurrent(nMountID_)) {
      view->setCustomEvent(*event);
    }
  }
}

}  // namespace nb
