#include "bridge/functions/FileOperationPageFunctions.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/FileOperationMainFunctions.h"
#include "bridge/functions/LocalFileAdd.h"
#include "bridge/functions/MoveCopyPageFunctions.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/app/BaseWebWindowController.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilNames.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "shell/copy/ReplaceWindowController.h"
#include "shell/windows/WebWindowController.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/operations/PageNotices.h"
#include "transfer/jobs/FileSaveAs.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

std::shared_ptr<SyncManager> managerOf(std::int64_t mountid) {
  return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
}

std::string status(std::int64_t code) { return Util::errorInfoWithCode(code); }

std::string serverError(const RequestRet& ret) {
  return Util::errorInfoWithCode(ret.nErrorCode(), ret.strErrorMsg());
}

std::int64_t codeOf(const std::string& answer) {
  const std::optional<JsonValue> value = dictionaryFromString(answer);
  return value ? jsonInt64(*value, "error") : Util::kStatusFailed;
}

void notice(const std::string& text) {
  Util::getAppDelegate()->setGrowlNotificationDescripation(text, std::nullopt);
}

// "UpdateFileList" to the windows showing the folder.
void updateFileList(std::int64_t mountid, const std::string& folder) {
  const auto event = PageEvent::fromJsonText("UpdateFileList", "{}");
  if (!event) return;
  for (const auto& view : Util::getAppDelegate()->checkCurrent(mountid, folder)) {
    view->setCustomEvent(*event);
  }
}

std::string gNewFile(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  std::string webpath = jsonTextOrEmpty(*args, "webpath");
  if (Util::isWindowsErrorName(webpath)) {
    const std::string changed = Util::changeWindwosErrorName(webpath);
    notice(fillMarks(Util::localizedStringForKey("项目名称［%@］存在特殊字符，替换成[%@]上传。"),
                     {getFilename(webpath), getFilename(changed)}));
    webpath = changed;
  }
  const std::shared_ptr<SyncManager> manager = managerOf(jsonInt64(*args, "mount_id"));
  if (!manager) return status(Util::kNoSuchSync);
  return manager->gNewFile(webpath, jsonInt64(*args, "dir"), jsonTextOrEmpty(*args, "property"),
                           jsonTextOrEmpty(*args, "filehash"));
}

// The last rename text a page sent, so that a page's immediate repeat of
// the very same request is dropped. Up to three queue threads rename at
// once: the look and the set are one step.
std::mutex& renameGuard() {
  static std::mutex guard;
  return guard;
}

std::string renameBody(const JsonValue& args) {
  const std::string newpath = jsonTextOrEmpty(args, "newpath");
  if (Util::stringContainsEmoji(newpath)) return status(Util::kEmojiName);
  const std::shared_ptr<SyncManager> manager = managerOf(jsonInt64(args, "mount_id"));
  if (!manager) return status(Util::kNoSuchSync);
  return manager->gRenameFile(jsonTextOrEmpty(args, "oldpath"), newpath);
}

std::string gRename(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  const std::string text = call.json();
  SyncCenter& center = SyncCenter::shareSyncCenter();
  {
    std::lock_guard lock(renameGuard());
    if (center.strOldRename() == text) return status(Util::kStatusOk);
    center.setStrOldRename(text);
  }
  std::string answer = renameBody(*args);
  // A rename that did not happen may be asked again: forget it.
  if (codeOf(answer) != Util::kStatusOk) {
    std::lock_guard lock(renameGuard());
    if (center.strOldRename() == text) center.setStrOldRename("");
  }
  return answer;
}

// The "webpath" values of the list's entries; nothing when one would leave
// the library.
std::optional<std::vector<std::string>> listedPaths(const JsonValue& args) {
  std::vector<std::string> paths;
  for (const JsonValue& entry : args["list"].elements()) {
    std::string webpath = jsonTextOrEmpty(entry, "webpath");
    if (!isSafeEntryPath(webpath)) return std::nullopt;
    paths.push_back(std::move(webpath));
  }
  return paths;
}

std::string gDelete(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return status(Util::kBadParameters);
  const std::int64_t mountid = jsonInt64(*args, "mount_id");
  const std::optional<std::vector<std::string>> paths = listedPaths(*args);
  if (!paths) return status(Util::kBadParameters);
  const std::shared_ptr<SyncManager> manager = managerOf(mountid);
  if (!manager) return status(Util::kNoSuchSync);
  const std::string answer = manager->gDeleteFile(*paths);
  // The windows of the last entry's folder are the ones refreshed.
  if (jsonInt64(*args, "notify") > 0 && !paths->empty()) {
    updateFileList(mountid, getParent(paths->back()));
  }
  return answer;
}

std::string gRecover(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return status(Util::kBadParameters);
  const std::shared_ptr<SyncManager> manager = managerOf(jsonInt64(*args, "mount_id"));
  const std::optional<std::vector<std::string>> paths = listedPaths(*args);
  if (!manager || !paths) return status(Util::kBadParameters);
  return manager->gRecover(*paths);
}

// Applies the server's entry of the path to the store and the local tree.
std::optional<SyncFileItem> applyServerEntry(SyncManager& manager, const CompareItem& item) {
  if (!isSafeEntryPath(item.strWebPath)) return std::nullopt;
  std::lock_guard hold(manager);
  return manager.receive_add(item, nullptr, false, true);
}

std::string gRevert(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kStatusOk);
  const std::string webpath = jsonTextOrEmpty(*args, "webpath");
  const std::int64_t mountid = jsonInt64(*args, "mount_id");
  if (!isSafeEntryPath(webpath)) return status(Util::kBadParameters);
  const std::string token = UserData::shareUserData().userToken();
  const RequestRet revert =
      HTTPEngine::setFileRevert(token, webpath, mountid, jsonNumberOrText(*args, "hid"), 0);
  if (revert.nStatusCode() != 200) return serverError(revert);
  const RetFileInfo info = HTTPEngine::getFileInfo(token, webpath, mountid, "", 0, 0);
  if (info.nStatusCode() != 200) return serverError(info);
  const std::shared_ptr<SyncManager> manager = managerOf(mountid);
  if (!manager || !info.pItem) return status(Util::kStatusOk);
  std::optional<SyncFileItem> row = applyServerEntry(*manager, *info.pItem);
  if (!row || row->nStatus == SyncStatus::kNotFound) return status(Util::kStatusOk);
  const std::string answer = pageAnswer(withMountId(manager->SyncFileItemToDictionary(*row), mountid));
  updateFileList(mountid, getParent(webpath));
  return answer;
}

std::string gUpdateWebPath(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  const std::string webpath = jsonTextOrEmpty(*args, "webpath");
  const std::int64_t mountid = jsonInt64(*args, "mount_id");
  if (!Util::getAppDelegate()->bLinkNetwork() || !isSafeEntryPath(webpath)) {
    return status(Util::kStatusOk);
  }
  const RetFileInfo info =
      HTTPEngine::getFileInfo(UserData::shareUserData().userToken(), webpath, mountid, "", 0, 0);
  const std::shared_ptr<SyncManager> manager = managerOf(mountid);
  if (info.nStatusCode() == 200 && info.pItem && manager) applyServerEntry(*manager, *info.pItem);
  return status(Util::kStatusOk);
}

std::string gLock(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  const std::shared_ptr<SyncManager> manager = managerOf(jsonInt64(*args, "mount_id"));
  if (!manager) return status(Util::kNoSuchSync);
  return manager->setfilestatus(jsonTextOrEmpty(*args, "webpath"), jsonInt64(*args, "dir"),
                                jsonInt64(*args, "status"));
}

constexpr std::int64_t kSaveStopped = 2;

std::string gSaveAs(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  transfer::SaveItem item;
  item._mountid = jsonInt64(*args, "mount_id");
  item._webpath = jsonTextOrEmpty(*args, "webpath");
  item._dir = jsonFlag(*args, "dir");
  item._hid = jsonNumberOrText(*args, "hid");
  // The item's name becomes a local name in the chosen folder.
  if (!isSafeEntryPath(item._webpath)) return status(Util::kBadParameters);
  std::vector<transfer::SaveItem> items = {std::move(item)};
  if (!ReplaceWindowController::pastefilesfrom(items, jsonTextOrEmpty(*args, "savepath"))) {
    return Util::errorInfoWithCode(kSaveStopped, "");
  }
  if (auto queue = Util::getAppDelegate()->taskQueue()) {
    queue->addOperation(std::make_shared<transfer::FileSaveAs>(std::move(items)));
  } else {
    NBLOG_ERROR("gSaveAs: no task queue");
  }
  return status(Util::kStatusOk);
}

std::string gRenameMagic(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return status(Util::kBadParameters);
  const RequestRet ret =
      HTTPEngine::setFavoriteName(UserData::shareUserData().userToken(),
                                  jsonNumberOrText(*args, "condition"),
                                  jsonTextOrEmpty(*args, "name"), 0);
  return ret.nStatusCode() == 200 ? status(Util::kStatusOk) : serverError(ret);
}

void queued(const char* name, std::string (*body)(const PageCall&)) {
  setPageHandler(name, [body](const PageCall& call, WebWindowController&) {
    return Answer(body(call));
  });
}

}  // namespace

void registerFileOperationPageFunctions() {
  queued("gNewFile", gNewFile);
  queued("gAdd", gAdd);
  queued("gMove", gMove);
  queued("gCopy", gCopy);
  queued("gRename", gRename);
  queued("gDelete", gDelete);
  queued("gRecover", gRecover);
  queued("gRevert", gRevert);
  queued("gUpdateWebPath", gUpdateWebPath);
  queued("gLock", gLock);
  queued("gRenameMagic", gRenameMagic);
  // Every window controller of the bridge is a web window controller, so
  // every page that asks gets its answer.
  queued("gSaveAs", gSaveAs);
  registerFileOperationMainFunctions();
}

}  // namespace nb::bridge
