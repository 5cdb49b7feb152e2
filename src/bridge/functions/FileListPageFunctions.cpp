#include "bridge/functions/FileListPageFunctions.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "shell/windows/WebWindowController.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

std::shared_ptr<SyncManager> managerOf(std::int64_t mountid) {
  return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
}

// The page form of a row with the library id beside it.
JsonValue fileEntry(SyncManager& manager, SyncFileItem& row, std::int64_t parentlink,
                    std::optional<std::string> syncpath = std::nullopt) {
  const JsonValue page = manager.SyncFileItemToDictionary(row, parentlink);
  JsonObjectBuilder b;
  for (const auto& member : page.members()) b.set(member.key(), member.value());
  b.set("mount_id", manager._nMountID());
  if (syncpath) b.set("syncpath", *syncpath);
  return b.build();
}

struct Listing {
  std::vector<JsonValue> list;
  std::string syncpath;
  std::int64_t synctype = LinkType::kNone;
  std::int64_t filecount = 0;
  std::int64_t foldercount = 0;

  std::string answer() {
    return pageAnswer(JsonObjectBuilder()
                          .set("list", JsonValue::array(std::move(list)))
                          .set("syncpath", syncpath)
                          .set("synctype", synctype)
                          .set("filecount", filecount)
                          .set("foldercount", foldercount)
                          .build());
  }
};

// A folder whose row id no longer matches its children's parent id takes
// the id its direct children name, unless another row holds that id.
std::int64_t repairedFolderId(Syncdb& store, const std::string& webpath, std::int64_t folderId) {
  if (webpath.empty() || folderId <= 0) return folderId;
  const SyncFileItem child = store.get_error_sub(webpath);
  if (child.nStatus == -1 || child.nUpID <= 0 || child.nUpID == folderId) return folderId;
  const std::string prefix = webpath + "/";
  const bool direct = child.strWebPath.size() > prefix.size() &&
                      child.strWebPath.compare(0, prefix.size(), prefix) == 0 &&
                      child.strWebPath.find('/', prefix.size()) == std::string::npos;
  if (!direct) return folderId;
  if (store.getFileInfoById(child.nUpID).nStatus != -1) return folderId;
  store.updateErrorId(folderId, child.nUpID);
  NBLOG_INFO("folder row {} re-pointed from {} to {}", webpath, folderId, child.nUpID);
  return child.nUpID;
}

// While the library's first pass runs, a folder never fetched is fetched
// from the server in the background.
void fetchUnlisted(const std::shared_ptr<SyncManager>& manager, const std::string& webpath) {
  if (!manager->bFirstCompare || manager->markgetfilelist().checkNodeByWebPath(webpath)) return;
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue to fetch {} of library {}", webpath, manager->_nMountID());
    return;
  }
  queue->addOperation([manager, webpath] { manager->firstCompareFileList(webpath, true); });
}

std::string gGetFileList(const PageCall& call, WebWindowController& window) {
  Listing out;
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return out.answer();
  const std::string webpath = jsonTextOrEmpty(*args, "webpath");
  const std::int64_t mountid = jsonInt64(*args, "mount_id");
  const bool dirsOnly = jsonFlag(*args, "dir");
  if (jsonFlag(*args, "current")) {
    window.setNCurrentMountID(mountid);
    window.setStrCurrentWebPath(webpath);
  }
  const std::shared_ptr<SyncManager> manager = managerOf(mountid);
  if (!manager) return out.answer();
  out.synctype = manager->linkfolder().linkTypeByWebPath(webpath, &out.syncpath);
  const std::string order = Syncdb::get_sort_string(
      jsonUInt64(*args, "start"), jsonUInt64(*args, "count"), jsonTextOrEmpty(*args, "sort"),
      jsonTextOrEmpty(*args, "sorttype"));
  Syncdb& store = manager->syncdb();
  std::int64_t folderId = webpath.empty() ? 0 : store.getID(webpath);
  out.filecount = store.getFileCount(folderId);
  out.foldercount = store.getFolderCount(folderId);
  const auto read = [&](std::int64_t id) {
    return dirsOnly ? store.get_all_dir(id, order) : store.get_all_fileanddir(id, order);
  };
  std::vector<SyncFileItem> rows = read(folderId);
  if (rows.empty()) {
    const std::int64_t repaired = repairedFolderId(store, webpath, folderId);
    if (repaired != folderId) rows = read(repaired);
  }
  for (SyncFileItem& row : rows) out.list.push_back(fileEntry(*manager, row, out.synctype));
  fetchUnlisted(manager, webpath);
  return out.answer();
}

std::string gGetFileListByTime(const PageCall& call) {
  std::vector<JsonValue> list;
  const std::optional<JsonValue> args = pageObject(call);
  const std::shared_ptr<SyncManager> manager =
      args ? managerOf(jsonInt64(*args, "mount_id")) : nullptr;
  if (manager) {
    for (SyncFileItem& row :
         manager->syncdb().get_all_bytime(jsonInt64(*args, "start"), jsonInt64(*args, "count"))) {
      list.push_back(fileEntry(*manager, row, 0));
    }
  }
  return pageAnswer(JsonObjectBuilder()
                        .set("list", JsonValue::array(std::move(list)))
                        .set("syncpath", "")
                        .set("synctype", LinkType::kNone)
                        .build());
}

std::string gGetFileCount(const PageCall& call) {
  NBLOG_DEBUG("{}", call.json());
  std::int64_t files = 0;
  std::uint64_t size = 0;
  std::int64_t folders = 0;
  const std::optional<JsonValue> args = pageObject(call);
  if (const auto manager = args ? managerOf(jsonInt64(*args, "mount_id")) : nullptr) {
    const std::string webpath = jsonTextOrEmpty(*args, "webpath");
    Syncdb& store = manager->syncdb();
    files = store.getFileAllCount(webpath);
    size = store.getFileAllSize(webpath);
    folders = store.getFolderAllCount(webpath);
  }
  return pageAnswer(JsonValue::object(
      {{"totalfilecount", files}, {"totalfilesize", size}, {"totalfoldercount", folders}}));
}

std::string fileInfo(const JsonValue& args) {
  const JsonValue& mount = args["mount_id"];
  if (mount.isNull()) return "{}";
  const auto manager = managerOf(jsonInt64(args, "mount_id"));
  if (!manager) return "{}";
  const std::string webpath = jsonTextOrEmpty(args, "webpath");
  const std::string uuidhash = jsonTextOrEmpty(args, "uuidhash");
  std::string owner;
  const std::int64_t type = manager->linkfolder().linkTypeByWebPath(webpath, &owner);
  if (uuidhash.empty() && webpath.empty()) {
    return pageAnswer(JsonValue::object({{"syncpath", owner}, {"synctype", type}}));
  }
  SyncFileItem row = uuidhash.empty() ? manager->syncdb().get_single_file(webpath)
                                      : manager->syncdb().get_uuidhash_file(uuidhash);
  if (row.nStatus == -1) return "{}";
  return pageAnswer(fileEntry(*manager, row, type, owner));
}

std::string gGetFileInfo(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return "{}";
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "{}";
  try {
    return fileInfo(*args);
  } catch (const std::exception& e) {
    NBLOG_ERROR("exception: {} ", e.what());
    return "{}";
  }
}

// An element naming both a library path and a local path is listed twice
// as one object: both copies carry all three keys and the local answer.
std::string gCheckPathExist(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "{}";
  const JsonValue& items = (*args)["list"];
  std::vector<JsonValue> list;
  if (items.isArray()) {
    for (const JsonValue& item : items.elements()) {
      const std::int32_t mountid = jsonInt32(item, "mount_id");
      const std::string webpath = jsonTextOrEmpty(item, "webpath");
      const std::string fullpath = jsonTextOrEmpty(item, "fullpath");
      JsonObjectBuilder b;
      std::size_t copies = 0;
      if (mountid > 0 && !webpath.empty()) {
        const auto manager = managerOf(mountid);
        const bool exist =
            manager && manager->syncdb().get_single_file(webpath).nStatus != -1;
        b.set("mount_id", mountid).set("webpath", webpath).set("exist", exist ? 1 : 0);
        ++copies;
      }
      if (!fullpath.empty()) {
        b.set("fullpath", fullpath).set("exist", Util::existfile(fullpath) ? 1 : 0);
        ++copies;
      }
      const JsonValue object = b.build();
      for (std::size_t i = 0; i < copies; ++i) list.push_back(object);
    }
  }
  return pageAnswer(JsonValue::object({{"list", JsonValue::array(std::move(list))}}));
}

std::string gCheckFileCache(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "0";
  const std::string hash = jsonTextOrEmpty(*args, "filehash");
  if (!isContentHash(hash)) return "0";
  return SyncCache::shareSyncCache().getFullPathByFileHash(hash).empty() ? "0" : "1";
}

std::string gGetMountInfo(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return "{}";
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "{}";
  const MountItem mount = Mountsdb::shareMountsdb().getMountByMountID(jsonInt64(*args, "mount_id"));
  if (mount.nMountID == -1 || mount.strInfo.empty()) return "{}";
  return mount.strInfo;
}

std::string gSideTreeList(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return "{}";
  const std::optional<JsonValue> args = pageObject(call);
  std::vector<JsonValue> list;
  const std::string type = args ? jsonTextOrEmpty(*args, "sidetype") : std::string();
  if (type == "org") {
    for (const MountItem& mount : Mountsdb::shareMountsdb().getMounts()) {
      std::optional<JsonValue> info = objectFromJSONString(mount.strInfo);
      if (!info || !info->isObject()) {
        NBLOG_WARN("library {} has no readable stored text: left out", mount.nMountID);
        continue;
      }
      list.push_back(std::move(*info));
    }
  } else if (type == "magic") {
    for (const MagicItem& magic : Mountsdb::shareMountsdb().getMagics()) {
      list.push_back(magic.dictionary());
    }
  }
  return pageAnswer(JsonValue::object({{"list", JsonValue::array(std::move(list))}}));
}

// The page's answer type around the shared debug log of argument and answer.
Answer logged(const PageCall& call, std::string answer) {
  return loggedAnswer(call, std::move(answer));
}

void handleMain(const char* name, std::string (*body)(const PageCall&)) {
  setPageHandler(name, [body](const PageCall& call, WebWindowController&) {
    return logged(call, body(call));
  });
}

}  // namespace

void registerFileListPageFunctions() {
  setPageHandler("gGetFileList", [](const PageCall& call, WebWindowController& window) {
    return Answer(gGetFileList(call, window));
  });
  setPageHandler("gGetFileListByTime", [](const PageCall& call, WebWindowController&) {
    return Answer(gGetFileListByTime(call));
  });
  setPageHandler("gGetFileCount", [](const PageCall& call, WebWindowController&) {
    return Answer(gGetFileCount(call));
  });
  handleMain("gGetFileInfo", gGetFileInfo);
  handleMain("gCheckPathExist", gCheckPathExist);
  handleMain("gCheckFileCache", gCheckFileCache);
  handleMain("gGetMountInfo", gGetMountInfo);
  handleMain("gSideTreeList", gSideTreeList);
}

}  // namespace nb::bridge
