#include "sync/local/LocalSteps.h"

#include <sys/stat.h>

#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilNames.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/IgnoreRules.h"
#include "sync/operations/Network.h"

namespace nb::local {

ControlHold::ControlHold(SyncManager& manager)
    : manager_(manager), taken_(!manager.holdsControllock()) {
  if (taken_) manager_.lock();
}

ControlHold::~ControlHold() {
  if (taken_) manager_.unlock();
}

bool ignoredLocal(SyncManager& manager, const std::string& path) {
  for (const auto& link : manager.linkfolder().getLinkNodes()) {
    if (ruleText(path, link.strFullPath) != path) return isigonoreLocal(path, link.strFullPath);
  }
  return isigonore(path);
}

bool ignoredWeb(const std::string& webpath) { return isigonore("/" + webpath); }

std::string fixSpaces(const std::string& path) {
  if (!Util::findspace(path)) return path;
  const std::string fixed = Util::replacespace(path);
  if (!Util::movefile(path, fixed)) NBLOG_WARN("cannot rename {} without its spaces", path);
  return fixed;
}

bool isFileLink(const std::string& path) { return Util::checklinkdir(path) && !Util::isdir(path); }

bool leadsToAncestor(const std::string& path) {
  struct stat target {};
  if (!Util::checklinkdir(path) || ::stat(path.c_str(), &target) != 0) return false;
  for (std::string folder = getParent(path); !folder.empty(); folder = getParent(folder)) {
    struct stat above {};
    if (::stat(folder.c_str(), &above) == 0 && above.st_dev == target.st_dev &&
        above.st_ino == target.st_ino) {
      return true;
    }
  }
  struct stat root {};
  return ::stat("/", &root) == 0 && root.st_dev == target.st_dev && root.st_ino == target.st_ino;
}

uint64_t itemSize(const std::string& path, bool dir) { return dir ? 0 : Util::filesize(path); }

SyncFileItem newLocalRow(const std::string& webpath, const std::string& path, bool dir,
                         uint64_t size, uint64_t lasttime) {
  const UserData& user = UserData::shareUserData();
  SyncFileItem row;
  row.strWebPath = webpath;
  row.ullFileSize = size;
  row.ullLastTime = lasttime;
  row.ullWebLastTime = lasttime;
  row.strLastName = user.userWebName();
  row.nLastID = user.userID();
  row.ullCreatorTime = Util::filecreatetime(path);
  row.nStatus = SyncStatus::kUploadPending;
  row.bDir = dir;
  return row;
}

void queueUpload(SyncManager& manager, const SyncFileItem& row, const std::string& path) {
  manager.Add_Upload(row, path, true, row.strWebPath);
  regetUploads();
}

void queueDownload(SyncManager& manager, const SyncFileItem& row, const std::string& path) {
  manager.ADD_Download(row, path, true, 0);
  Network::shareNetwork()->SendCallbackAction(TransDirection::Download, "reget");
}

void regetUploads() { Network::shareNetwork()->SendCallbackAction(TransDirection::Upload, "reget"); }

// A download ended here leaves its record marked running, which no
// dispatch offers again and no later finish clears: the local item now
// decides, and whoever still wants the server's version queues it anew.
void dropTransfers(const SyncManager& manager, const std::string& webpath) {
  Network::shareNetwork()->ClearTrans(webpath, manager._nMountID());
  TransPortDB::shareTransPortDB().Delete_Download(manager._nMountID(), webpath);
}

void tellFolder(const SyncManager& manager, const std::string& webfolder) {
  const auto event = PageEvent::fromJsonText("UpdateFileList", "{}");
  if (!event) return;
  for (const auto& window : Util::getAppDelegate()->checkCurrent(manager._nMountID(), webfolder)) {
    if (window) window->setCustomEvent(*event);
  }
}

void askCompare(SyncManager& manager) {
  manager.startCanCompare();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
}

void repairParent(SyncManager& manager, const SyncFileItem& row) {
  if (row.nUpID == 0) return;
  Syncdb& store = manager.syncdb();
  if (store.getFileInfoById(row.nUpID).nStatus != SyncStatus::kNotFound) return;
  const SyncFileItem parent = store.get_single_file(getParent(row.strWebPath));
  if (parent.nStatus == SyncStatus::kNotFound) return;
  store.updateErrorUpId(row.nUpID, parent.nID);
}

}  // namespace nb::local
