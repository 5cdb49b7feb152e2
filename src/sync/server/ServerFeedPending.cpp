// Placeholders for the change-feed side until it lands: each logs that it
// is missing and answers its failure value, so a caller never mistakes a
// missing step for a done one.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

#define NB_MISSING(name) NBLOG_ERROR("SyncManager {}: {} is not built", nMountID_, name)

bool SyncManager::receive_from_server() {
  NB_MISSING("receive_from_server");
  return false;
}
bool SyncManager::receive_server_version(const std::vector<SyncVersion>&, bool, bool) {
  NB_MISSING("receive_server_version");
  return false;
}
void SyncManager::comparenow() { NB_MISSING("comparenow"); }
bool SyncManager::receive_datas(const std::vector<CompareItem>&, ViewList*, bool) {
  NB_MISSING("receive_datas");
  return false;
}
void SyncManager::receive_del(const CompareItem&, ViewList*) { NB_MISSING("receive_del"); }
void SyncManager::receive_reset(const CompareItem&) { NB_MISSING("receive_reset"); }
void SyncManager::compare_now(const std::string&, bool, const std::string&) {
  NB_MISSING("compare_now");
}

}  // namespace nb
