// Reading the server's change feed: page by page from each stored cursor,
// every item applied under controllock, the cursor stored only once its
// page is wholly applied, so a pass cut short resumes where the store says
// and never skips an item.
#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/operations/Network.h"
#include "sync/server/FeedPaths.h"

namespace nb {
namespace {

// Items of a full page: one more page follows.
constexpr std::size_t kFeedPageSize = 1000;
// Requests per cursor and call, answered or not.
constexpr int kRequestsPerCursor = 10;

constexpr int64_t kTokenUnknown = 40101;
constexpr int64_t kTokenExpired = 40102;
constexpr int64_t kFolderGone = 40402;

// How reading one cursor ended.
enum class CursorEnd {
  Done,        // read to its end
  Failed,      // out of requests
  Stopped,     // the manager is stopping
  FolderGone,  // the server no longer has the folder
};

// What one call of the feed gathers for its closing notices.
struct FeedPass {
  SyncManager::ViewList views;
  bool changesSeen = false;
};

// One cursor's pages until its end, its request budget, a stop or 40402.
CursorEnd readCursor(SyncManager& m, SyncVersion& cursor, bool bChange, bool bSyncNow,
                     FeedPass& pass) {
  for (int request = 0; request < kRequestsPerCursor; ++request) {
    if (m.bOut()) return CursorEnd::Stopped;
    const RetCompare page = HTTPEngine::getFileCompare(
        UserData::shareUserData().userToken(), cursor.strWebPath, m._nMountID(),
        cursor.ullDateline, cursor.bCompareInit, 0, cursor.ullIndex);
    if (page.nStatusCode() != 200) {
      const int64_t code = page.nErrorCode();
      if (code == kFolderGone) return CursorEnd::FolderGone;
      if (code == kTokenUnknown || code == kTokenExpired) UserData::shareUserData().regettoken();
      continue;
    }
    cursor.ullDateline = page.dateline;
    cursor.ullIndex = page.index;
    if (bChange) m.ullCompareTime = page.dateline;
    const std::vector<CompareItem> items = page.itemlist.value_or(std::vector<CompareItem>{});
    if (m.receive_datas(items, &pass.views, bSyncNow)) {
      m.syncdb().update_total_version(cursor);
      if (bSyncNow) {
        m.syncdb().update_sync_now(entryPathOfCursor(cursor.strWebPath),
                                   static_cast<int64_t>(page.dateline));
      }
    }
    if (m.bOut()) return CursorEnd::Stopped;
    if (bChange) {
      m.nUpdateNum += static_cast<int64_t>(items.size());
      if (!items.empty()) pass.changesSeen = true;
    }
    if (items.size() < kFeedPageSize) {
      if (bChange) m.syncdb().update_total_compareinit(cursor.strWebPath, 0);
      return CursorEnd::Done;
    }
    m.bCompareHaveData = true;
  }
  return CursorEnd::Failed;
}

// The server no longer has the cursor's folder: its state goes, unless it
// is the library itself or a backup link whose local folder is still there
// (the local side is then what counts).
void dropMissingFolder(SyncManager& m, const std::string& cursorPath) {
  const std::string webpath = entryPathOfCursor(cursorPath);
  if (webpath.empty()) return;
  TransPortDB& transfers = TransPortDB::shareTransPortDB();
  if (m.linkfolder().linkTypeByWebPath(webpath) == LinkType::kBackup) {
    if (Util::existfile(m.getnormalpath(webpath))) return;
    m.syncdb().del_dir(webpath);
    transfers.RemoveWebpathUnFinish(m._nMountID(), webpath);
    return;
  }
  m.syncdb().del_dir(webpath);
  transfers.Remove_Download(m._nMountID(), webpath);
}

// The closing notices of a call: views of changed folders, the unseen
// change count, and the transfer lists that got new records.
void sendNotices(SyncManager& m, const FeedPass& pass) {
  if (const auto event = PageEvent::fromJsonText("UpdateFileList", "{}")) {
    for (const auto& view : pass.views) view->setCustomEvent(*event);
  }
  if (pass.changesSeen) {
    const JsonValue notice = JsonValue::object({{"mount_id", m._nMountID()},
                                                {"dateline", m.ullCompareTime.load()},
                                                {"count", m.nUpdateNum.load()}});
    if (const auto text = JSONString(notice)) {
      Util::getAppDelegate()->lastUpdateDatelineForLaunchpad(*text);
    }
  }
  const int64_t actions = m.nCallbackAction;
  const auto network = Network::shareNetwork();
  if (actions & kQueuedDownload) network->SendCallbackAction(TransDirection::Download, "reget");
  if (actions & kQueuedUpload) network->SendCallbackAction(TransDirection::Upload, "reget");
}

}  // namespace

bool SyncManager::receive_from_server() {
  if (!Util::getAppDelegate()->bLinkNetwork()) return false;
  const bool done = receive_server_version(syncdb_->get_all_version(), true, false);
  if (done) bFirstCompare = false;
  return done;
}

bool SyncManager::receive_server_version(const std::vector<SyncVersion>& versions, bool bChange,
                                         bool bSyncNow) {
  nCallbackAction = 0;
  FeedPass pass;
  bool result = false;
  for (SyncVersion cursor : versions) {
    if (bChange) {
      const SyncVersion stored = syncdb_->get_total_version(cursor.strWebPath);
      if (stored.strWebPath.empty()) continue;
      cursor.ullDateline = stored.ullDateline;
    }
    switch (readCursor(*this, cursor, bChange, bSyncNow, pass)) {
      case CursorEnd::Done:
        result = true;
        break;
      case CursorEnd::Failed:
        NBLOG_WARN("library {}: the change feed of '{}' failed {} times", nMountID_,
                   cursor.strWebPath, kRequestsPerCursor);
        result = false;
        break;
      case CursorEnd::Stopped:
        return false;
      case CursorEnd::FolderGone:
        dropMissingFolder(*this, cursor.strWebPath);
        return true;
    }
  }
  sendNotices(*this, pass);
  return result;
}

}  // namespace nb
