#include "sync/operations/PageNotices.h"

#include "stores/syncdb/SyncStatus.h"
#include "sync/centre/SyncManager.h"

namespace nb {

void sendUpdateFileInfo(SyncManager& manager, const SyncFileItem& item) {
  if (item.nStatus == SyncStatus::kNotFound) return;
  SyncFileItem shown = item;
  manager.SendUpdateFileInfo(shown, true);
}

JsonValue withMountId(const JsonValue& page, int64_t mountId) {
  JsonObjectBuilder builder;
  for (const auto& member : page.members()) builder.set(member.key(), member.value());
  builder.set("mount_id", mountId);
  return builder.build();
}

}  // namespace nb
