#include "bridge/functions/FileOperationMainFunctions.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/app/BaseWebWindowController.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/AppFolders.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/Syncdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "transfer/templates/DownloadTemplateTask.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

std::shared_ptr<SyncManager> managerOf(std::int64_t mountid) {
  return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
}

void gEditFileProperty(const JsonValue& args) {
  const std::int64_t mountid = jsonInt32(args, "mount_id");
  const std::shared_ptr<SyncManager> manager = managerOf(mountid);
  if (!manager) return;
  const std::string webpath = jsonTextOrEmpty(args, "webpath");
  manager->syncdb().update_property(webpath, jsonTextOrEmpty(args, "property"));
  const auto event = PageEvent::fromJsonText("UpdateFileList", "{}");
  if (!event) return;
  for (const auto& view : Util::getAppDelegate()->checkCurrent(mountid, lastremoveslash(webpath))) {
    view->setCustomEvent(*event);
  }
}

void gUpdateMemberName(const JsonValue& args) {
  if (auto manager = managerOf(jsonInt64(args, "mount_id"))) {
    manager->syncdb().update_lastname(jsonInt64(args, "member_id"),
                                      jsonTextOrEmpty(args, "member_name"));
  }
}

void gSetFav(const JsonValue& args) {
  Mountsdb::shareMountsdb().updateMagic(jsonInt32(args, "id"), jsonInt32(args, "type"),
                                        jsonTextOrEmpty(args, "name"),
                                        jsonTextOrEmpty(args, "color"));
}

void tellFavoriteChanged(std::int64_t mountid, const std::string& hash) {
  if (auto manager = managerOf(mountid)) manager->SendUpdateFileInfoByUuidHash(hash);
}

void gSetFileFavorite(const JsonValue& args) {
  const std::int64_t mountid = jsonInt32(args, "mount_id");
  const std::string hash = jsonTextOrEmpty(args, "hash");
  Mountsdb& store = Mountsdb::shareMountsdb();
  store.removefavoritesByMountID(mountid, hash);
  for (const JsonValue& group : args["favorite"].elements()) {
    store.addFavorites(group.toInt32(), mountid, hash);
  }
  tellFavoriteChanged(mountid, hash);
}

void gDelFileFavorite(const JsonValue& args) {
  const std::int64_t mountid = jsonInt32(args, "mount_id");
  const std::string hash = jsonTextOrEmpty(args, "hash");
  Mountsdb::shareMountsdb().removeFavoritesByID(jsonInt32(args, "favorite"), hash);
  tellFavoriteChanged(mountid, hash);
}

// The template's file: the user's fetched copy first, then one installed
// with the program; nothing when neither exists.
std::optional<std::string> templateFile(const std::string& hash) {
  for (const auto& folder : {platform::templateFolder(), platform::installDataFolder() / "UI"}) {
    const std::string path = (folder / hash).string();
    if (Util::isfile(path)) return path;
  }
  return std::nullopt;
}

std::string gFileTemplate(const JsonValue& args) {
  const std::int64_t entid = jsonInt32(args, "ent_id");
  if (entid < 0) return "{}";
  std::vector<JsonValue> list;
  for (const TemplateItem& item : Mountsdb::shareMountsdb().getTemplates(entid)) {
    // The hash names a file: anything but a content hash could name another.
    if (!isContentHash(item.strHash)) {
      NBLOG_WARN("template {} has no usable content hash", item.strName);
      continue;
    }
    if (const std::optional<std::string> path = templateFile(item.strHash)) {
      list.push_back(JsonObjectBuilder()
                         .set("tpl_name", item.strName)
                         .set("ext", item.strExt)
                         .set("fullpath", item.strFullpath)
                         .set("filehash", item.strHash)
                         .set("filesize", static_cast<std::int64_t>(item.ullFilesize))
                         .set("property", item.strProperty)
                         .build());
    } else if (auto queue = Util::getAppDelegate()->taskQueue()) {
      queue->addOperation(std::make_shared<transfer::DownloadTemplateTask>(item.strHash, entid));
    }
  }
  return pageAnswer(JsonObjectBuilder().set("list", JsonValue::array(std::move(list))).build());
}

// A main-thread function without an answer; a non-object does nothing.
void silent(const char* name, void (*body)(const JsonValue&)) {
  setPageBody(name, [body](const PageCall& call) -> Answer {
    NBLOG_DEBUG("{}", call.json());
    if (const std::optional<JsonValue> args = pageObject(call)) body(*args);
    return std::nullopt;
  });
}

// A favourite change: always answers {}.
void favourite(const char* name, void (*body)(const JsonValue&)) {
  setPageBody(name, [body](const PageCall& call) -> Answer {
    NBLOG_DEBUG("{}", call.json());
    if (const std::optional<JsonValue> args = pageObject(call)) body(*args);
    return std::string("{}");
  });
}

}  // namespace

void registerFileOperationMainFunctions() {
  silent("gEditFileProperty", gEditFileProperty);
  silent("gUpdateMemberName", gUpdateMemberName);
  silent("gSetFav", gSetFav);
  favourite("gSetFileFavorite", gSetFileFavorite);
  favourite("gDelFileFavorite", gDelFileFavorite);
  setPageBody("gFileTemplate", [](const PageCall& call) -> Answer {
    const std::optional<JsonValue> args = pageObject(call);
    return loggedAnswer(call, args ? gFileTemplate(*args) : std::string("{}"));
  });
}

}  // namespace nb::bridge
