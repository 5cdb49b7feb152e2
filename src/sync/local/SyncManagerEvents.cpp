// The sync manager's side of folder watching: the local event handlers and
// the rescan a watcher asks for when events were lost, and the recent-event
// lists that recognise the engine's own work.

#include "platform/Log.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

// The local event handlers come with the local-change decisions; until
// then a change reaches the engine through the rescan that this asks for.
bool notBuilt(SyncManager& manager, const char* handler, const std::string& path) {
  NBLOG_ERROR("library {}: no local event handler {} yet for {}; rescanning instead",
              manager._nMountID(), handler, path);
  manager.requestFullRescan();
  return false;
}

}  // namespace

bool SyncManager::eventadd(const std::string& path) { return notBuilt(*this, "eventadd", path); }
bool SyncManager::eventdel(const std::string& path) { return notBuilt(*this, "eventdel", path); }
bool SyncManager::eventupdate(const std::string& path) {
  return notBuilt(*this, "eventupdate", path);
}
bool SyncManager::eventrename(const std::string& path, const std::string&, bool) {
  return notBuilt(*this, "eventrename", path);
}
bool SyncManager::eventremove(const std::string& path, const std::string&, bool) {
  return notBuilt(*this, "eventremove", path);
}

void SyncManager::requestFullRescan() {
  bScaned = false;
  startCanCompare();
  SyncCenter::shareSyncCenter().setBCompareNow(true);
}

void SyncManager::set_add_filelistinfo(const std::string& webpath, uint64_t filesize,
                                       uint64_t lasttime) {
  std::lock_guard lock(listsMutex_);
  copylist_.set_add_filelistinfo(webpath, filesize, lasttime);
}

bool SyncManager::isOwnWrite(const std::string& webpath, uint64_t filesize, uint64_t lasttime) {
  std::lock_guard lock(listsMutex_);
  return copylist_.isOwnWrite(webpath, filesize, lasttime);
}

void SyncManager::check_and_clear_copylist() {
  std::lock_guard lock(listsMutex_);
  copylist_.check_and_clear_copylist();
}

bool SyncManager::check_movelist(const std::string& path) {
  std::lock_guard lock(listsMutex_);
  return movelists_.check_movelist(path);
}

}  // namespace nb
