#include "bridge/functions/SyncFolderPageFunctions.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/LinkPathPageFunctions.h"
#include "bridge/functions/PageArgs.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/OperationQueue.h"
#include "shell/alerts/NBAlert.h"
#include "shell/windows/WebWindowController.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

std::shared_ptr<SyncManager> managerOf(std::int64_t mountid) {
  return SyncCenter::shareSyncCenter().GetSyncManager(mountid);
}

std::string parentPath(const std::string& webpath) {
  const std::size_t slash = webpath.rfind('/');
  return slash == std::string::npos ? std::string() : webpath.substr(0, slash);
}

// The queued functions that work on one library: 10007, then 10005, then
// the body.
using LibraryBody = std::function<std::string(const JsonValue& args, SyncManager& manager)>;
std::string onLibrary(const PageCall& call, const LibraryBody& body) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  const std::shared_ptr<SyncManager> manager = managerOf(jsonInt64(*args, "mount_id"));
  if (!manager) return Util::errorInfoWithCode(Util::kNoSuchSync);
  return body(*args, *manager);
}

std::string gDeleteLinkPath(const JsonValue& args, SyncManager& manager) {
  const std::string webpath = jsonTextOrEmpty(args, "webpath");
  manager.remove_link(webpath);
  const auto views =
      Util::getAppDelegate()->checkCurrent(manager._nMountID(), parentPath(webpath));
  if (const auto event = PageEvent::fromJsonText("UpdateFileList", "{}")) {
    for (const auto& view : views) view->setCustomEvent(*event);
  }
  SyncCenter::shareSyncCenter().setBCompareNow(true);
  return Util::errorInfoWithCode(Util::kStatusOk);
}

std::string gCache(const JsonValue& args, SyncManager& manager) {
  manager.stop();
  manager.set_cache(jsonTextOrEmpty(args, "webpath"), jsonInt64(args, "state"));
  manager.start();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
  return Util::errorInfoWithCode(Util::kStatusOk);
}

void notifyReset(const char* kind, std::int64_t mountid) {
  const std::optional<std::string> text =
      JSONString(JsonValue::object({{kind, JsonValue::array({mountid})}}));
  if (text) Util::getAppDelegate()->gCompareNotifyReset(*text);
}

std::string getOrg(std::int64_t orgid) {
  const RetMounts ret =
      HTTPEngine::getMounts(UserData::shareUserData().userToken(), std::vector<std::int64_t>{orgid});
  if (ret.nStatusCode() != 200) return Util::errorInfoWithCode(ret.nErrorCode(), ret.strErrorMsg());
  std::string answer = Util::errorInfoWithCode(Util::kStatusOk);
  for (const MountItem& mount : ret.itemlist.value_or(std::vector<MountItem>{})) {
    Mountsdb::shareMountsdb().addMount(mount);
    if (!managerOf(mount.nMountID)) {
      SyncCenter::shareSyncCenter().createmount(mount);
      notifyReset("add", mount.nMountID);
    }
    answer = mount.strInfo;
  }
  return answer;
}

std::string gNotice(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  const std::int64_t orgid = jsonInt64(*args, "org_id");
  const std::string type = jsonTextOrEmpty(*args, "type");
  if (type == "getOrg") return getOrg(orgid);
  if (type == "removeOrg") {
    if (const auto manager = SyncCenter::shareSyncCenter().GetSyncManagerByOrgid(orgid)) {
      notifyReset("delete", manager->_nMountID());
    }
    SyncCenter::shareSyncCenter().removemount(orgid);
  }
  return Util::errorInfoWithCode(Util::kStatusOk);
}

// "1" unless a test finds something there.
std::string gCheckEmpty(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return "1";
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "1";
  const bool dir = jsonFlag(*args, "dir");
  const std::string type = jsonTextOrEmpty(*args, "type");
  if (type == "fullpath") {
    const std::string path = jsonTextOrEmpty(*args, "path");
    if (dir) return Util::isemptydir(path) ? "1" : "0";
    return Util::existfile(path) ? "0" : "1";
  }
  if (type == "webpath") {
    const auto manager = managerOf(jsonInt32(*args, "mount_id"));
    return manager ? manager->gCheckEmpty(jsonTextOrEmpty(*args, "webpath"), dir) : "1";
  }
  return "1";
}

std::string gGetSyncNormalPath(const PageCall& call) {
  if (!NBWebViewDelegate::checkLogin()) return "{}";
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return "{}";
  const auto manager = managerOf(jsonInt64(*args, "mount_id"));
  if (!manager) return "{}";
  return pageAnswer(JsonValue::object(
      {{"path", manager->gGetNormalSyncPath(jsonTextOrEmpty(*args, "webpath"))}}));
}

void gReset(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return;
  const auto manager = managerOf(jsonInt64(*args, "mount_id"));
  if (!manager) return;
  const std::string webpath = jsonTextOrEmpty(*args, "webpath");
  if (jsonInt64(*args, "current") == 0) {
    manager->reset_sync(webpath, jsonInt64(*args, "dir") >= 1, false);
    return;
  }
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue to fetch {} of library {}", webpath, manager->_nMountID());
    return;
  }
  queue->addOperation([manager, webpath] { manager->firstCompareFileList(webpath, false); });
}

void gResetCompare(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return;
  if (const auto manager = managerOf(jsonInt32(*args, "mount_id"))) {
    manager->bNeedCompare = true;
    SyncCenter::shareSyncCenter().setBCompareNow(true);
  }
}

void gSetVisitUpdateDateline(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return;
  if (const auto manager = managerOf(jsonInt32(*args, "mount_id"))) {
    manager->setvisitupdatedateline(jsonUInt64(*args, "dateline"));
  }
}

std::string gCompare(const PageCall& call, WebWindowController& window) {
  NBAlert::Content content;
  content.informative = Util::localizedStringForKey("Mac同步客户端，不支持此功能！");
  NBAlert::showNBSheetModalForWindow(window.window(), content,
                                     std::vector<std::string>{Util::localizedStringForKey("我知道了")});
  NBLOG_DEBUG("{}", call.json());
  return "{}";
}

// The page's answer type around the shared debug log of argument and answer.
Answer logged(const PageCall& call, std::string answer) {
  return loggedAnswer(call, std::move(answer));
}

Answer noAnswer(const PageCall& call, const std::function<void(const PageCall&)>& body) {
  NBLOG_DEBUG("{}", call.json());
  body(call);
  return std::nullopt;
}

}  // namespace

void registerSyncFolderPageFunctions() {
  setPageBody("gGetLinkPath", [](const PageCall& c) {
    return logged(c, NBWebViewDelegate::checkLogin()
                         ? SyncCenter::shareSyncCenter().getlinkpathjson()
                         : std::string("{}"));
  });
  setPageBody("gCheckLinkPath", [](const PageCall& c) {
    return Answer(onLibrary(c, [](const JsonValue& args, SyncManager& manager) {
      return manager.check_Link(jsonTextOrEmpty(args, "webpath"), jsonInt64(args, "type"));
    }));
  });
  setPageBody("gSetLinkPath", [](const PageCall& c) { return Answer(gSetLinkPath(c)); });
  setPageHandler("gMoveLinkPath", [](const PageCall& c, WebWindowController& window) {
    return Answer(gMoveLinkPath(c, window));
  });
  setPageBody("gDeleteLinkPath", [](const PageCall& c) { return Answer(onLibrary(c, gDeleteLinkPath)); });
  setPageBody("gCache", [](const PageCall& c) { return Answer(onLibrary(c, gCache)); });
  setPageBody("gGetSyncNormalPath", [](const PageCall& c) { return logged(c, gGetSyncNormalPath(c)); });
  setPageBody("gCheckEmpty", [](const PageCall& c) { return logged(c, gCheckEmpty(c)); });
  setPageHandler("gCompare", [](const PageCall& c, WebWindowController& window) {
    return Answer(gCompare(c, window));
  });
  setPageBody("gReset", [](const PageCall& c) { return noAnswer(c, gReset); });
  setPageBody("gResetCompare", [](const PageCall& c) { return noAnswer(c, gResetCompare); });
  setPageBody("gSetVisitUpdateDateline",
         [](const PageCall& c) { return noAnswer(c, gSetVisitUpdateDateline); });
  setPageBody("gGetShortcuts", [](const PageCall& c) {
    std::string links = NBWebViewDelegate::checkLogin() ? Mountsdb::shareMountsdb().getLinks()
                                                        : std::string();
    return logged(c, links.empty() ? std::string("{}") : links);
  });
  setPageBody("gNotice", [](const PageCall& c) { return Answer(gNotice(c)); });
}

}  // namespace nb::bridge
