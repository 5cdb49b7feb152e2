// The sync centre's compare cycles and folder watchers.
#include <algorithm>

#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "sync/centre/MountCompare.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/Directoryhandler.h"

namespace nb {

void SyncCenter::compareproc() {
  for (const auto& manager : synclist()) {
    if (manager->bInWork.exchange(true)) continue;
    taskqueue_.addOperation(std::make_shared<MountCompare>(manager, *this));
  }
}

void SyncCenter::resetcomparenow() {
  for (const auto& manager : synclist()) manager->startCanCompare();
  bCompareNow_ = true;
}

void SyncCenter::comparenotify(const std::string& json) {
  const auto notice = objectFromJSONString(json);
  if (!notice || !notice->isObject()) return;
  const JsonValue& type = (*notice)["type"];
  const JsonValue& ids = (*notice)["mount_ids"];
  if (!type.isString() || type.asString() != "compare" || !ids.isArray() || ids.empty()) return;
  for (const JsonValue& id : ids.elements()) {
    if (const auto manager = GetSyncManager(id.toInt32())) manager->setCanCompare();
  }
  bCompareNow_ = true;
}

void SyncCenter::startWatch(const std::string& folder, std::shared_ptr<SyncManager> manager) {
  const std::string root = lastaddslash(folder);
  std::shared_ptr<Directoryhandler> handler;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(handlerlist_.begin(), handlerlist_.end(),
                                 [&](const auto& h) { return h->_srcPath() == root; });
    if (it != handlerlist_.end()) {
      handler = *it;
    } else {
      handler = std::make_shared<Directoryhandler>(root);
      handlerlist_.push_back(handler);
    }
  }
  handler->AddManager(std::move(manager));
}

void SyncCenter::stopWatch(const std::string& folder,
                           const std::shared_ptr<SyncManager>& manager) {
  const std::string root = lastaddslash(folder);
  std::shared_ptr<Directoryhandler> handler;
  {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(handlerlist_.begin(), handlerlist_.end(),
                                 [&](const auto& h) { return h->_srcPath() == root; });
    if (it == handlerlist_.end()) return;
    handler = *it;
  }
  handler->DelManager(manager);
  if (!handler->_managerlist().empty()) return;
  handler->stopMonitoring();
  std::lock_guard lock(mutex_);
  std::erase(handlerlist_, handler);
}

std::vector<std::shared_ptr<Directoryhandler>> SyncCenter::handlerlist() const {
  std::lock_guard lock(mutex_);
  return handlerlist_;
}

}  // namespace nb
