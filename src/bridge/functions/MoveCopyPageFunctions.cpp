#include "bridge/functions/MoveCopyPageFunctions.h"

#include <memory>
#include <optional>
#include <vector>

#include "api/session/TransActionCounter.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "shell/copy/NumberedName.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"

namespace nb::bridge {

namespace {

std::shared_ptr<SyncManager> managerOf(std::int64_t mountid) {
  return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
}

bool taken(Syncdb& store, const std::string& webpath) {
  const std::int64_t status = store.get_single_file(webpath).nStatus;
  return status != SyncStatus::kNotFound && status != SyncStatus::kRemovedOnServer &&
         status != SyncStatus::kDeletedLocally;
}

// One request of gMove or gCopy, read and checked.
struct Request {
  std::string target;  // without a trailing "/"
  std::int64_t targetmountid = 0;
  std::int64_t frommountid = 0;
  std::vector<MoveItem> items;
};

// The request, or the refusal's answer: 10007 for the wrong JSON types and
// for paths that would leave the library once they become local paths.
std::optional<Request> readRequest(const PageCall& call, bool copy, std::string& refusal) {
  refusal = Util::errorInfoWithCode(Util::kBadParameters);
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return std::nullopt;
  Request request;
  request.target = lastremoveslash(jsonTextOrEmpty(*args, "target"));
  request.targetmountid = jsonInt64(*args, "targetmountid");
  request.frommountid = jsonInt64(*args, "frommountid");
  if (!isSafeWebPath(request.target)) return std::nullopt;
  const std::shared_ptr<SyncManager> targetManager = managerOf(request.targetmountid);
  const bool sameLibrary = request.targetmountid == request.frommountid;
  for (const JsonValue& entry : (*args)["list"].elements()) {
    MoveItem item;
    item.frompath = jsonTextOrEmpty(entry, "webpath");
    if (!isSafeEntryPath(item.frompath)) return std::nullopt;
    const std::string name = getFilename(lastremoveslash(item.frompath));
    item.topath = request.target.empty() ? name : request.target + "/" + name;
    item.dir = copy && jsonFlag(entry, "dir");
    if (jsonFlag(entry, "keepboth") && targetManager) {
      item.topath = keepBothWebPath(targetManager->syncdb(), item.topath);
    }
    // A move onto its own place is no move.
    if (!copy && sameLibrary && item.topath == item.frompath) continue;
    request.items.push_back(std::move(item));
  }
  return request;
}

std::string ok() { return Util::errorInfoWithCode(Util::kStatusOk); }

}  // namespace

std::string keepBothWebPath(Syncdb& store, const std::string& webpath) {
  if (!taken(store, webpath)) return webpath;
  const std::string parent = getParent(webpath);
  const std::string name = getFilename(webpath);
  for (std::int64_t n = 2;; ++n) {
    const std::string candidate =
        parent.empty() ? numberedName(name, n) : parent + "/" + numberedName(name, n);
    if (!taken(store, candidate)) return candidate;
  }
}

std::string gMove(const PageCall& call) {
  std::string refusal;
  const std::optional<Request> request = readRequest(call, false, refusal);
  if (!request) return refusal;
  if (request->items.empty()) return ok();
  // No transfer is dispatched while the records are rewritten; the scope
  // lowers the counter on every way out.
  TransActionScope bulk;
  const std::shared_ptr<SyncManager> target = managerOf(request->targetmountid);
  if (request->targetmountid == request->frommountid) {
    return target ? target->gMoveFile(request->items)
                  : Util::errorInfoWithCode(Util::kNoSuchSync);
  }
  const std::shared_ptr<SyncManager> source = managerOf(request->frommountid);
  if (!source || !target) return Util::errorInfoWithCode(Util::kNoSuchSync);
  TransPortDB::shareTransPortDB().CopyTrans(request->items, request->frommountid,
                                            request->targetmountid);
  std::vector<SyncFileItem> rows = source->getfilelist(request->items);
  target->addfile(rows, true, request->target);
  std::vector<std::string> sources;
  for (const MoveItem& item : request->items) sources.push_back(item.frompath);
  source->delfile(sources);
  return ok();
}

std::string gCopy(const PageCall& call) {
  std::string refusal;
  const std::optional<Request> request = readRequest(call, true, refusal);
  if (!request) return refusal;
  const std::shared_ptr<SyncManager> target = managerOf(request->targetmountid);
  const std::shared_ptr<SyncManager> source = managerOf(request->frommountid);
  // A copy that cannot be carried out says so, as a move does.
  if (!source || !target) return Util::errorInfoWithCode(Util::kNoSuchSync);
  if (request->targetmountid == request->frommountid && SyncManager::checksub(request->items)) {
    return Util::errorInfoWithCode(Util::kCopyIntoChild);
  }
  TransPortDB& transfers = TransPortDB::shareTransPortDB();
  const std::shared_ptr<AppState> app = Util::getAppDelegate();
  for (const MoveItem& item : request->items) {
    transfers.addTaskDir(request->targetmountid, item.topath, "");
    if (app->bPromptMessage()) {
      app->setGrowlNotificationDescripation(
          fillMarks(Util::localizedStringForKey("[%@] 正在上传"), {getFilename(item.topath)}),
          std::nullopt);
    }
  }
  std::vector<SyncFileItem> rows = source->getfilelist(request->items);
  for (SyncFileItem& row : rows) {
    // A file the server has no content for is queued as server-only.
    if (row.strUuidHash.empty() && row.strFileHash.empty() && !row.bDir) {
      row.nStatus = SyncStatus::kServerOnly;
    } else {
      row.strUuidHash.clear();
    }
    row.strProperty.clear();
    row.nLock = 0;
  }
  transfers.CopyTrans(request->items, request->frommountid, request->targetmountid);
  target->addfile(rows, true, request->target);
  for (const MoveItem& item : request->items) {
    transfers.addTaskDirFinish(request->targetmountid, item.topath, "");
  }
  return ok();
}

}  // namespace nb::bridge
