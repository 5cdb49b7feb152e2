#include "bridge/functions/LocalFileAdd.h"

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "api/session/UserData.h"
#include "bridge/functions/MoveCopyPageFunctions.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilNames.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/copy/NumberedName.h"
#include "shell/copy/ProgressWindowController.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/SafeWebPath.h"
#include "sync/local/IgnoreRules.h"

namespace nb::bridge {

namespace {

std::string join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

void notice(const std::string& text) {
  Util::getAppDelegate()->setGrowlNotificationDescripation(text, std::nullopt);
}

void noticeRenamed(const std::string& name, const std::string& changed) {
  notice(fillMarks(Util::localizedStringForKey("项目名称［%@］存在特殊字符，替换成[%@]上传。"),
                   {name, changed}));
}

// The first numbered form of `name` under `parent` that `taken` refuses.
std::string firstFree(const std::string& parent, const std::string& name,
                      const std::function<bool(const std::string&)>& taken) {
  for (std::int64_t n = 2;; ++n) {
    const std::string candidate = join(parent, numberedName(name, n));
    if (!taken(candidate)) return candidate;
  }
}

// One walk of files_add: the list in walk order and its web paths.
struct Walk {
  std::vector<CopyItem> list;
  std::unordered_set<std::string> webpaths;
  std::int64_t renamed = 0;

  bool has(const std::string& webpath) const { return webpaths.count(webpath) != 0; }
  auto taken() const {
    return [this](const std::string& webpath) { return has(webpath); };
  }
};

void add_file(std::string webpath, const std::string& source, const std::string& target,
              Walk& walk) {
  // A link is neither followed nor copied: tested on the link itself,
  // before anything reads through it.
  if (Util::checklinkdir(source)) return;
  CopyItem item;
  item.oldpath = source;
  item.newpath = target;
  item.bDir = Util::isdir(source);
  item.sumsize = item.bDir ? 0 : Util::filesize(source);
  if (Util::isWindowsErrorName(webpath)) {
    webpath = Util::changeWindwosErrorName(webpath);
    if (walk.has(webpath)) {
      webpath = firstFree(getParent(webpath), getFilename(webpath), walk.taken());
    }
    ++walk.renamed;
  }
  if (isigonoresys(webpath)) return;
  item.webpath = webpath;
  walk.webpaths.insert(webpath);
  walk.list.push_back(item);
  if (!item.bDir) return;
  for (const std::string& name : Util::entryNames(source)) {
    if (isigonoresys(name)) continue;
    std::string child = name;
    if (Util::isWindowsErrorName(name)) {
      child = Util::changeWindwosErrorName(name);
      if (walk.has(join(webpath, child))) {
        child = getFilename(firstFree(webpath, child, walk.taken()));
      }
      ++walk.renamed;
    }
    add_file(join(webpath, child), source + "/" + name, target + "/" + child, walk);
  }
}

std::mutex& observerMutex() {
  static std::mutex mutex;
  return mutex;
}
std::function<void(const CopyItem&, CopyJob&)>& observer() {
  static std::function<void(const CopyItem&, CopyJob&)> observer;  // guarded by observerMutex()
  return observer;
}

// The page's items with their names in the library; see gAdd.
std::vector<MoveItem> targetsOf(const JsonValue& list, const std::string& parent,
                                const std::shared_ptr<SyncManager>& manager) {
  std::vector<MoveItem> items;
  std::unordered_set<std::string> targets;
  for (const JsonValue& entry : list.elements()) {
    if (!entry.isObject()) continue;
    const std::string path = jsonTextOrEmpty(entry, "path");
    const std::string name = getFilename(lastremoveslash(path));
    if (name.empty() || isigonoresys(name)) continue;
    std::string target = join(parent, name);
    if (Util::findspace(target)) target = Util::replacespace(target);
    if (Util::isWindowsErrorName(name)) {
      const std::string changed = Util::changeWindwosErrorName(name);
      noticeRenamed(name, changed);
      target = join(parent, changed);
      if (targets.count(target) != 0) {
        target = firstFree(parent, changed,
                           [&](const std::string& t) { return targets.count(t) != 0; });
      }
    }
    if (!isSafeEntryPath(target)) {
      NBLOG_WARN("gAdd: {} gives no usable name", path);
      continue;
    }
    if (jsonFlag(entry, "keepboth") && manager) target = keepBothWebPath(manager->syncdb(), target);
    targets.insert(target);
    items.push_back(MoveItem{path, target, false});
  }
  return items;
}

std::string replaceCount(std::string text, std::int64_t count) {
  for (const char* mark : {"%ld", "%@"}) {
    const std::size_t at = text.find(mark);
    if (at != std::string::npos) return text.replace(at, std::string(mark).size(), std::to_string(count));
  }
  return text;
}

}  // namespace

void setCopyItemObserver(std::function<void(const CopyItem& item, CopyJob& job)> fn) {
  std::lock_guard lock(observerMutex());
  observer() = std::move(fn);
}

std::vector<CopyItem> files_add(SyncManager& manager, const std::vector<MoveItem>& paths,
                                const std::string& parent) {
  Walk walk;
  for (const MoveItem& item : paths) {
    if (!manager.linkfolder().checkLinkByWebPath(item.topath)) continue;
    const std::string name = getFilename(item.topath);
    if (UserData::shareUserData().checkignore(name)) continue;
    const std::string localParent = manager.getnormalpath(parent);
    if (localParent.empty() || !Util::createfolder(localParent)) {
      NBLOG_WARN("files_add: no local folder for {}", parent);
      continue;
    }
    add_file(item.topath, item.frompath, lastaddslash(localParent) + name, walk);
  }
  if (walk.renamed > 0) {
    notice(replaceCount(Util::localizedStringForKey("特殊字符"), walk.renamed));
  }
  return std::move(walk.list);
}

std::vector<std::string> files_copy(CopyJob& job) {
  std::vector<std::string> failed;
  for (const CopyItem& item : job.items()) {
    {
      std::lock_guard lock(observerMutex());
      if (observer()) observer()(item, job);
    }
    if (job.isCancelled()) continue;
    NBLOG_DEBUG("files_copy [{}]", item.oldpath);
    const bool copied = item.bDir ? Util::createfolder(item.newpath)
                                  : Util::copyfileneedtemp(item.oldpath, item.newpath);
    if (!copied) {
      NBLOG_WARN("files_copy failed: {} -> {}", item.oldpath, item.newpath);
      failed.push_back(item.webpath);
    }
  }
  job.markDone();
  return failed;
}

std::string gAdd(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args || !(*args)["list"].isArray()) return Util::errorInfoWithCode(Util::kBadParameters);
  const std::string parent = lastremoveslash(jsonTextOrEmpty(*args, "parent"));
  if (!isSafeWebPath(parent)) return Util::errorInfoWithCode(Util::kBadParameters);
  const std::shared_ptr<SyncManager> manager =
      SyncCenter::shareSyncCenter().GetSyncManager(jsonInt64(*args, "mount_id"));
  std::vector<MoveItem> items = targetsOf((*args)["list"], parent, manager);
  if (items.empty()) return Util::errorInfoWithCode(Util::kStatusOk);
  if (!manager) return Util::errorInfoWithCode(Util::kNoSuchSync);
  if (jsonTextOrEmpty(*args, "type") != "save") return "{}";

  // This add's own list and cancel: the window of another add stops only
  // its own copy.
  auto job = std::make_shared<CopyJob>(files_add(*manager, items, parent));
  if (!job->items().empty()) {
    platform::MainThread::post([job] { ProgressWindowController::startCopy(job); });
  }
  const std::vector<std::string> failed = files_copy(*job);
  if (job->isCancelled()) return R"({"list":[]})";
  // An item whose own copy failed is not recorded as copied.
  if (!failed.empty()) {
    const std::unordered_set<std::string> skip(failed.begin(), failed.end());
    std::erase_if(items, [&](const MoveItem& item) {
      if (skip.count(item.topath) == 0) return false;
      NBLOG_WARN("gAdd: {} was not copied and is left out", item.frompath);
      return true;
    });
    if (items.empty()) return R"({"list":[]})";
  }
  return manager->gAddFile(parent, items);
}

}  // namespace nb::bridge
