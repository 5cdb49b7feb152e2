#include "bridge/push/SocketParseActions.h"

#include <array>
#include <memory>
#include <mutex>
#include <string_view>

#include "api/calls/HTTPEngine.h"
#include "api/models/RetUserInfo.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/push/BaseController.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"
#include "shell/app/AccountInfo.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {

namespace {

// Acts after which the libraries are read again from the service.
constexpr std::array<std::string_view, 10> kRefreshActs = {
    "modify_org_role", "join_org_group", "quit_org_group", "join_group", "quit_group",
    "join_ent",        "quit_ent",       "join_org",       "quit_org",   "modify_ent_device"};

std::string ok() { return Util::errorInfoWithCode(Util::kStatusOk); }

std::mutex& shortcutsMutex() {
  static std::mutex m;
  return m;
}
SocketParseActions::ShortcutsCheck& shortcutsCheck() {
  static SocketParseActions::ShortcutsCheck check;
  return check;
}

// The fetch waits for the network: on the task queue, so no window freezes.
// The answer is applied on the main thread, then the page hears back.
void rereadAccount(BaseController* controller) {
  BaseController::Answer answer = controller ? controller->deferAnswer() : BaseController::Answer();
  const auto queue = Util::getAppDelegate()->taskQueue();
  if (!queue) {
    NBLOG_ERROR("no task queue: the account is not read again");
    if (answer) answer(ok());
    return;
  }
  const std::string token = UserData::shareUserData().userToken();
  queue->addOperation([token, answer = std::move(answer)] {
    auto info = std::make_shared<RetUserInfo>(HTTPEngine::getAccountInfo(token, 0));
    platform::MainThread::post([info, answer] {
      if (info->nStatusCode() == 200 && info->nUserID >= 1) {
        applyAccountInfo(*info, ServerInfo::current().get());
      } else {
        NBLOG_WARN("account re-read failed: status {}", info->nStatusCode());
      }
      if (answer) answer(ok());
    });
  });
}

}  // namespace

void SocketParseActions::registerShared() {
  SocketParseMessage::setShared(std::make_shared<SocketParseActions>());
}

void SocketParseActions::setShortcutsCheck(ShortcutsCheck check) {
  std::lock_guard lock(shortcutsMutex());
  shortcutsCheck() = std::move(check);
}

std::string SocketParseActions::perform(const SocketActionItem& item, BaseController* controller) {
  const std::string& act = item.strAct;
  if (act == "modify_org") {
    modifyOrg(item.dicMetadata);
    return ok();
  }
  for (std::string_view refresh : kRefreshActs) {
    if (act == refresh) {
      SyncCenter::shareSyncCenter().setBRegetServer(true);
      return ok();
    }
  }
  if (act == "favorite") return actionFavorite(item.dicMetadata);
  if (act == "api_member" && item.strType == "sys_in") return actionApi(item.dicMetadata, controller);
  return ok();
}

void SocketParseActions::modifyOrg(const JsonValue& metadata) {
  SyncCenter& center = SyncCenter::shareSyncCenter();
  center.setBRegetServer(true);
  if (!metadata.isObject()) return;
  if (const auto manager = center.GetSyncManager(jsonInt64(metadata, "mount_id"))) {
    manager->bSpaceMax = false;
  }
}

std::string SocketParseActions::actionFavorite(const JsonValue& metadata) {
  if (!metadata.isObject()) return ok();
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  const std::int64_t group = jsonInt64(metadata, "fav_id");
  const std::int64_t mount = jsonInt64(metadata, "mount_id");
  const std::string hash = jsonTextOrEmpty(metadata, "hash");
  switch (jsonInt64(metadata, "act")) {
    case 1:
      catalogue.addFavorites(group, mount, hash);
      break;
    case 0:
      catalogue.removeFavoritesByID(group, hash);
      break;
    case -1:
      catalogue.removeFavorites(group);
      break;
    case 2:
      catalogue.removefavoritesByMountID(mount, hash);
      break;
    default:
      break;
  }
  return ok();
}

std::string SocketParseActions::actionApi(const JsonValue& metadata, BaseController* controller) {
  if (!metadata.isObject()) return ok();
  const std::string api = jsonTextOrEmpty(metadata, "api");
  if (api == "/1/account/info") {
    rereadAccount(controller);
  } else if (api == "/2/member/get_shortcuts") {
    ShortcutsCheck check;
    {
      std::lock_guard lock(shortcutsMutex());
      check = shortcutsCheck();
    }
    if (!check) {
      NBLOG_ERROR("no shortcut refresh is registered: the shortcuts are not read again");
    } else if (controller) {
      check(controller->window());
    }
  }
  return ok();
}

}  // namespace nb
