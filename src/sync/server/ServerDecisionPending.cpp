// Placeholders for the server-decision side until it lands: each logs that
// it is missing and answers its failure value.
#include "platform/Log.h"
#include "sync/centre/SyncManager.h"

namespace nb {

#define NB_MISSING(name) NBLOG_ERROR("SyncManager {}: {} is not built", nMountID_, name)

std::optional<SyncFileItem> SyncManager::receive_add(const CompareItem&, ViewList*, bool, bool) {
  NB_MISSING("receive_add");
  return std::nullopt;
}
void SyncManager::compare_data(SyncFileItem&, const CompareItem&, bool) {
  NB_MISSING("compare_data");
}
bool SyncManager::compare_file(const std::string&, SyncFileItem&, bool, bool) {
  NB_MISSING("compare_file");
  return false;
}
bool SyncManager::compare_modify(const std::string&, SyncFileItem&) {
  NB_MISSING("compare_modify");
  return false;
}
bool SyncManager::finishdownload(const TransTaskItem&, const std::string&) {
  NB_MISSING("finishdownload");
  return false;
}
void SyncManager::apply_delfile(const SyncFileItem&) { NB_MISSING("apply_delfile"); }
void SyncManager::apply_deldir(const SyncFileItem&) { NB_MISSING("apply_deldir"); }
void SyncManager::update_parenttime(const std::string&) { NB_MISSING("update_parenttime"); }
void SyncManager::commit() { NB_MISSING("commit"); }
void SyncManager::reset_sync(const std::string&, bool, bool) { NB_MISSING("reset_sync"); }
void SyncManager::resetall() { NB_MISSING("resetall"); }

}  // namespace nb
