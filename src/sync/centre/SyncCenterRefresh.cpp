// The sync centre's catalogue refresh: enterprises and libraries from the
// web API diffed against the catalogue store, the page events of the diff,
// and the removal of libraries the server no longer lists.
#include <fmt/format.h>

#include "api/calls/HTTPEngine.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/operations/Network.h"

namespace nb {

namespace {

void sendEvent(AppState& app, const char* name, const std::string& json) {
  if (const auto event = PageEvent::fromJsonText(name, json)) {
    app.setAllCustomEvent(*event);
  } else {
    NBLOG_WARN("{} not sent: its detail is not a JSON object", name);
  }
}

void sendRemoveOrgObject(AppState& app, int64_t mountId) {
  if (const auto event = PageEvent::make("RemoveOrgObject",
                                         JsonValue::object({{"mount_id", mountId}}))) {
    app.setAllCustomEvent(*event);
  }
}

JsonValue idArray(const std::vector<int64_t>& ids) {
  std::vector<JsonValue> values(ids.begin(), ids.end());
  return JsonValue::array(std::move(values));
}

// "12,40,0" for enterprises 12 and 40.
std::string entIdText(const std::vector<EntItem>& ents) {
  std::string text;
  for (const auto& ent : ents) text += fmt::format("{},", ent.nEntID);
  return text + "0";
}

}  // namespace

bool SyncCenter::sessionEnded(const std::stop_token& stop) const {
  return bOut_ || stop.stop_requested();
}

int SyncCenter::getDataFromServer(const std::stop_token& stop) {
  if (resetEnts(stop) == -1) return -1;
  return resetMounts(stop);
}

int SyncCenter::resetEnts(const std::stop_token& stop) {
  const RetEnts ret = HTTPEngine::getEnts(UserData::shareUserData().userToken());
  if (ret.nStatusCode() != 200 || !ret.itemlist || ret.itemlist->empty()) return 1;
  const std::vector<EntItem>& server = *ret.itemlist;
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  std::vector<EntItem> stored = catalogue.getEnts();
  const auto app = Util::getAppDelegate();
  for (const EntItem& ent : server) {
    bool found = false;
    for (EntItem& old : stored) {
      if (old.nEntID == ent.nEntID) {
        if (old.strPropertys != ent.strPropertys) {
          sendEvent(*app, "EditEntObject", ent.strPropertys);
        }
        old.bRemove = true;  // still listed
        found = true;
        break;
      }
      if (sessionEnded(stop)) return -1;
    }
    if (!found) sendEvent(*app, "AddEntObject", ent.strPropertys);
    catalogue.addEnt(ent);
  }
  for (const EntItem& old : stored) {
    if (!old.bRemove) {
      catalogue.delEnt(old.nEntID);
      sendEvent(*app, "RemoveEntObject", old.strPropertys);
    }
    if (sessionEnded(stop)) return -1;
  }
  getentstemplate(entIdText(server));
  return 0;
}

int SyncCenter::resetMounts(const std::stop_token& stop) {
  RetMounts ret = HTTPEngine::getMounts(UserData::shareUserData().userToken());
  if (ret.nStatusCode() != 200) return loadmounts(stop);
  std::vector<MountItem> server = ret.itemlist.value_or(std::vector<MountItem>{});
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  const auto app = Util::getAppDelegate();
  std::vector<int64_t> added;
  std::vector<int64_t> deleted;
  bool changed = false;
  for (const MountItem& old : catalogue.getMounts()) {
    // A refresh of an ended session must not touch the next one's libraries.
    if (sessionEnded(stop)) return -1;
    const auto match = std::find_if(server.begin(), server.end(), [&](const MountItem& item) {
      return item.nMountID == old.nMountID;
    });
    if (match != server.end()) {
      catalogue.addMount(*match);
      if (old.strInfo != match->strInfo && !bFirst_) {
        sendEvent(*app, "EditOrgObject", match->strInfo);
      }
      match->bRemove = true;  // matched
      continue;
    }
    removeLibrary(old.nMountID);
    changed = true;
    if (!bFirst_) {
      sendRemoveOrgObject(*app, old.nMountID);
      deleted.push_back(old.nMountID);
    }
  }
  for (const MountItem& item : server) {
    if (item.bRemove) continue;
    if (sessionEnded(stop)) return -1;
    catalogue.addMount(item);
    changed = true;
    if (!bFirst_) {
      sendEvent(*app, "AddOrgObject", item.strInfo);
      added.push_back(item.nMountID);
    }
  }
  if (changed) {
    const JsonValue lists =
        JsonValue::object({{"add", idArray(added)}, {"delete", idArray(deleted)}});
    app->gCompareNotifyReset(JSONString(lists).value_or(R"({"add":[],"delete":[]})"));
  }
  return loadmounts(stop);
}

void SyncCenter::removeLibrary(int64_t mountId) {
  RemoveSyncManager(mountId);
  Mountsdb::shareMountsdb().removeByMountID(mountId);
  TransPortDB::shareTransPortDB().RemoveMountid(mountId);
  deleteSyncDbByMountid(mountId);
  Network::shareNetwork()->ClearTrans("", mountId);
}

bool SyncCenter::removemount(int64_t orgId) {
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  const MountItem mount = catalogue.getMountByOrgID(orgId);
  // An unknown organisation would otherwise stand for library 0, whose
  // folder holds the centre's own transfer cache.
  if (mount.nMountID <= 0) {
    NBLOG_WARN("removemount: no library of organisation {}", orgId);
    return true;
  }
  catalogue.removeMountOrgID(orgId);
  TransPortDB::shareTransPortDB().RemoveMountid(mount.nMountID);
  Network::shareNetwork()->ClearTrans("", mount.nMountID);
  if (const auto manager = GetSyncManagerByOrgid(orgId)) RemoveSyncManager(manager->_nMountID());
  deleteSyncDbByMountid(mount.nMountID);
  return true;
}

void SyncCenter::deleteSyncDbByMountid(int64_t mountId) {
  const std::string folder =
      UserData::shareUserData().getuserfolderpath() + "/" + std::to_string(mountId);
  // Never delete anything outside the configuration folder.
  if (folder.find(".veskocfg") == std::string::npos) return;
  Util::deletefolder(folder, false);
}

void SyncCenter::setEntsTemplateRefresh(EntsTemplateRefresh refresh) {
  std::lock_guard lock(mutex_);
  entsTemplateRefresh_ = std::move(refresh);
}

void SyncCenter::getentstemplate(const std::string& entIds) {
  EntsTemplateRefresh refresh;
  {
    std::lock_guard lock(mutex_);
    refresh = entsTemplateRefresh_;
  }
  if (!refresh) {
    NBLOG_ERROR("no enterprise template refresh registered; templates of {} not fetched", entIds);
    return;
  }
  refresh(entIds);
}

}  // namespace nb
