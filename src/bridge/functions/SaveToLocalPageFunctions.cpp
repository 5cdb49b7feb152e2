#include "bridge/functions/SaveToLocalPageFunctions.h"

#include <memory>
#include <optional>
#include <vector>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "shell/copy/ReplaceWindowController.h"
#include "shell/ui/Ui.h"
#include "shell/windows/WebWindowController.h"
#include "stores/cache/SyncCache.h"
#include "transfer/jobs/FileSaveAs.h"
#include "transfer/jobs/FileSaveAsByDialog.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;
using transfer::SaveItem;

// One list entry as a save item, its target settled; nothing for an entry
// whose content hash could name a file outside the cache.
std::optional<SaveItem> saveItem(const JsonValue& entry, bool withContent) {
  SaveItem item;
  item._mountid = jsonInt64(entry, "mount_id");
  item._webpath = jsonTextOrEmpty(entry, "webpath");
  item._dir = jsonFlag(entry, "dir");
  item._hid = jsonNumberOrText(entry, "hid");
  item._fullpath = jsonTextOrEmpty(entry, "fullpath");
  item.bKeepBoth = jsonFlag(entry, "keepboth");
  if (withContent) {
    item.ullFileSize = jsonUInt64(entry, "filesize");
    item.strUuidHash = jsonTextOrEmpty(entry, "hash");
    item.strFileHash = jsonTextOrEmpty(entry, "filehash");
    if (!item.strFileHash.empty() && !isContentHash(item.strFileHash)) {
      NBLOG_WARN("save of {} skipped: malformed content hash", item._webpath);
      return std::nullopt;
    }
  }
  applyKeepBoth(item);
  return item;
}

std::optional<std::vector<SaveItem>> saveList(const PageCall& call, bool withContent) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return std::nullopt;
  std::vector<SaveItem> items;
  for (const JsonValue& entry : (*args)["list"].elements()) {
    if (auto item = saveItem(entry, withContent)) items.push_back(std::move(*item));
  }
  return items;
}

bool queueTask(std::shared_ptr<platform::Operation> job) {
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue for a save to a local folder");
    return false;
  }
  return queue->addOperation(std::move(job));
}

Answer gSaveToLocal(const PageCall& call, WebWindowController&) {
  std::optional<std::vector<SaveItem>> items = saveList(call, false);
  if (!items) return loggedAnswer(call, "{}");
  queueTask(std::make_shared<transfer::FileSaveAs>(std::move(*items)));
  return loggedAnswer(call, Util::errorInfoWithCode(Util::kStatusOk));
}

Answer gSaveToLocalByDialog(const PageCall& call, WebWindowController&) {
  std::optional<std::vector<SaveItem>> items = saveList(call, true);
  if (!items) return loggedAnswer(call, "{}");
  const JsonValue args = pageObject(call).value();
  queueTask(std::make_shared<transfer::FileSaveAsByDialog>(
      std::move(*items), jsonNumberOrText(args, "message_id"),
      jsonNumberOrText(args, "dialog_id")));
  return loggedAnswer(call, Util::errorInfoWithCode(Util::kStatusOk));
}

Answer gGetLocalPathBySave(const PageCall& call, WebWindowController& window) {
  const auto ui = ui::currentUi("gGetLocalPathBySave");
  if (!ui) return std::nullopt;
  ui->dialogs().chooseFolder(
      ui::FolderChooser{}, window.window().get(),
      [call](std::optional<std::string> folder) {
        std::string path = folder ? lastremoveslash(*folder) : std::string();
        // The root keeps its one slash.
        if (folder && path.empty() && !folder->empty()) path = "/";
        const std::string answer =
            loggedAnswer(call, JSONString(JsonValue::object({{"path", path}})).value_or("{}"));
        if (auto page = call.bridge.lock()) page->answer(call.callbackId, answer);
      });
  return std::nullopt;
}

}  // namespace

std::string keepBothTarget(const std::string& fullpath, const std::string& webName) {
  return ReplaceWindowController::keepBothPath(getParent(fullpath) + "/", webName);
}

void applyKeepBoth(SaveItem& item) {
  if (item._mountid > 0 && !item._webpath.empty() && item.bKeepBoth &&
      Util::existfile(item._fullpath)) {
    item._fullpath = keepBothTarget(item._fullpath, getFilename(item._webpath));
  }
}

void registerSaveToLocalPageFunctions() {
  setPageHandler("gSaveToLocal", gSaveToLocal);
  setPageHandler("gSaveToLocalByDialog", gSaveToLocalByDialog);
  setPageHandler("gGetLocalPathBySave", gGetLocalPathBySave);
}

}  // namespace nb::bridge
