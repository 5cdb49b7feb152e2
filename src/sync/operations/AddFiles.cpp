// Adding files and folders of the computer to a library folder from a
// page: into a linked folder (the page has copied them there) as sync
// uploads, elsewhere as plain uploads straight from where they are.
#include <filesystem>
#include <optional>

#include "api/models/TransportItem.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/links/SafeWebPath.h"
#include "sync/local/IgnoreRules.h"
#include "sync/local/LocalSteps.h"
#include "sync/operations/AddScan.h"
#include "sync/operations/Network.h"
#include "sync/operations/PageNotices.h"

namespace nb {
namespace {

constexpr const char* kUploadingNotice = "[%@] 正在上传,请勿删除原文件";

// Transfer dispatch stays paused while the items are registered, so that
// no upload starts before the page has its answer.
class DispatchPause {
 public:
  DispatchPause() { Network::shareNetwork()->AddTransAction(); }
  ~DispatchPause() { Network::shareNetwork()->DelTransAction(); }
  DispatchPause(const DispatchPause&) = delete;
  DispatchPause& operator=(const DispatchPause&) = delete;
};

// The fields a row takes from the local item and the signed-in user. A new
// row is made at `webpath`, an existing one keeps what else it had.
void fillFromLocal(SyncFileItem& row, const std::string& local, uint64_t webtime, int64_t status) {
  const UserData& user = UserData::shareUserData();
  row.bDir = Util::isdir(local);
  row.ullLastTime = Util::filemodifytime(local);
  row.nLastID = user.userID();
  row.strLastName = user.userWebName();
  row.ullWebLastTime = webtime;
  row.nStatus = status;
  row.strFileHash.clear();
  row.ullFileSize = row.bDir ? 0 : Util::filesize(local);
}

}  // namespace

std::string SyncManager::gAddFile(const std::string& /*parent*/,
                                  const std::vector<MoveItem>& paths) {
  std::vector<JsonValue> list;
  {
    DispatchPause pause;
    for (const auto& item : paths) {
      if (!isSafeEntryPath(item.topath)) {
        NBLOG_ERROR("library {}: an added item with an unsafe destination was skipped",
                    nMountID_);
        continue;
      }
      if (std::optional<JsonValue> shown = addOne(item)) list.push_back(std::move(*shown));
    }
    Network::shareNetwork()->SendCallbackAction(TransDirection::Upload, "reget");
  }
  return JSONString(JsonValue::object({{"list", JsonValue::array(std::move(list))}}))
      .value_or(R"({"list":[]})");
}

std::optional<JsonValue> SyncManager::addOne(const MoveItem& item) {
  const std::string& dest = item.topath;
  const int64_t linkType = linkfolder_.linkTypeByWebPath(dest);
  const uint64_t now = platform::nowSeconds();
  const bool plain =
      linkType == LinkType::kNone || UserData::shareUserData().checkignore(getFilename(dest));
  const std::string local = plain ? item.frompath : getnormalpath(dest);
  if (local.empty() || !Util::existfile(local)) {
    NBLOG_WARN("library {}: nothing to add at {}", nMountID_, local);
    return std::nullopt;
  }
  SyncFileItem row = syncdb_->get_single_file(dest);
  const bool existed = row.nStatus != SyncStatus::kNotFound;
  const int64_t status = plain ? SyncStatus::kServerOnly : SyncStatus::kUploadPending;
  if (existed) {
    fillFromLocal(row, local, now, status);
    // A sync upload's row takes the local copy's own time as its server time.
    if (!plain) row.ullWebLastTime = row.ullLastTime;
    syncdb_->update_file(row);
  } else {
    row = SyncFileItem{};
    row.strWebPath = dest;
    row.ullCreatorTime = now;
    fillFromLocal(row, local, now, status);
    row.nUpID = getFileUpID(dest);
    if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", dest);
    row.nID = syncdb_->add_new_file(row);
  }
  Add_Upload(row, local, !plain, row.strWebPath);
  if (!plain) {
    if (row.bDir) scandir(local);
    if (!existed) return std::nullopt;
  } else {
    if (row.bDir) startFolderAdd(dest, local);
    if (Util::getAppDelegate()->bPromptMessage()) {
      Util::getAppDelegate()->setGrowlNotificationDescripation(
          fillMarks(Util::localizedStringForKey(kUploadingNotice), {getFilename(dest)}),
          std::nullopt);
    }
  }
  SyncFileItem shown = row;
  shown.nStatus = SyncStatus::kUploadPending;
  return withMountId(shown.convert2dictionary(linkType, 0, 0, ""), nMountID_);
}

void SyncManager::startFolderAdd(const std::string& webpath, const std::string& local) {
  addadlist(webpath);
  TransPortDB::shareTransPortDB().addTaskDir(nMountID_, webpath, local);
  // Without a job the entry would hold back a deletion of the folder for
  // nothing.
  if (!startAddScan(nMountID_, webpath, local)) deladlist(webpath);
}

bool SyncManager::AddUploadSubFiles(const std::string& webpath, const std::string& fullpath,
                                    const std::string& parent) {
  std::error_code error;
  std::filesystem::directory_iterator entries(fullpath, error);
  if (error) return true;
  const std::string folder = lastaddslash(fullpath);
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") || isigonoresys(name)) continue;
    const std::string web = webpath + "/" + name;
    const std::string local = folder + name;
    if (!checksubadlist(web)) return false;
    // A folder link back into its own chain would be walked for ever.
    if (local::leadsToAncestor(local)) {
      NBLOG_WARN("library {}: {} leads back into its own folder; not added", nMountID_, local);
      continue;
    }
    addSubItem(web, local, parent);
    if (Util::isdir(local) && !AddUploadSubFiles(web, local, parent)) return false;
  }
  return true;
}

void SyncManager::addSubItem(const std::string& webpath, const std::string& local,
                             const std::string& parent) {
  const uint64_t now = platform::nowSeconds();
  SyncFileItem row = syncdb_->get_single_file(webpath);
  const bool existed = row.nStatus != SyncStatus::kNotFound;
  if (!existed) {
    row = SyncFileItem{};
    row.strWebPath = webpath;
    row.nLock = row.nLockID = 0;
  }
  fillFromLocal(row, local, now, SyncStatus::kServerOnly);
  row.strUuidHash.clear();
  row.ullCreatorTime = now;
  if (existed) {
    syncdb_->update_file(row);
  } else {
    row.nUpID = getFileUpID(webpath);
    if (row.nUpID == -1) NBLOG_ERROR("getFileUpID error {}", webpath);
    row.nID = syncdb_->add_new_file(row);
  }
  TransportItem record;
  record.nMountid = nMountID_;
  record.strWebpath = webpath;
  record.strFullpath = local;
  record.bDir = row.bDir;
  record.ullLast = row.ullLastTime;
  record.nStatus = kTransWaiting;
  record.ullFilesize = row.ullFileSize;
  if (!TransPortDB::shareTransPortDB().Add_Upload(record, parent)) {
    NBLOG_WARN("library {}: the upload of {} was not queued", nMountID_, webpath);
  }
}

}  // namespace nb
