// The user's permission bits on a library, from its catalogue record.
#include <array>
#include <string_view>
#include <utility>

#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/operations/Network.h"

namespace nb {
namespace {

constexpr std::array<std::pair<std::string_view, int64_t>, 6> kPermissionWords{{
    {"file_write", Permission::kFileWrite},
    {"file_upload", Permission::kFileUpload},
    {"file_discuss", Permission::kFileDiscuss},
    {"file_sync", Permission::kFileSync},
    {"file_read", Permission::kFileRead},
    {"file_delete", Permission::kFileDelete},
}};

}  // namespace

// Every bit stays set while the library is not in the catalogue or its
// property carries no list of permissions.
void SyncManager::setpermisson() {
  nPermissions = Permission::kAll;
  const MountItem mount = Mountsdb::shareMountsdb().getMountByMountID(nMountID_);
  if (mount.nMountID == -1) return;
  set_strMountName(mount.strOrgName);
  const auto property = objectFromJSONString(mount.strPropertys);
  if (!property || !property->isObject()) return;
  const JsonValue& words = (*property)["permissions"];
  if (!words.isArray() || words.empty()) return;
  // Other threads read the bits at any time: they see the old value or the
  // whole new one, never a half-built one.
  int64_t bits = 0;
  for (const JsonValue& word : words.elements()) {
    for (const auto& [name, bit] : kPermissionWords) {
      if (word.isString() && word.asString() == name) bits |= bit;
    }
  }
  nPermissions = bits;
  if ((bits & (Permission::kFileWrite | Permission::kFileUpload)) != 0) return;
  for (const auto& link : linkfolder_.getLinkNodes()) {
    if (link.nType != LinkType::kSync) dropBackupLink(link, mount.strPropertys);
  }
}

// Nothing may be fed from a backup link any more; its folder stays.
void SyncManager::dropBackupLink(const LinkFolderNode& link, const std::string& property) {
  NBLOG_DEBUG("setpermisson:{}", property);
  removelink(link.strFullPath);
  syncdb_->remove_link(link.strWebPath, true);
  linkfolder_.removeByWebPath(link.strWebPath, true);
  TransPortDB::shareTransPortDB().RemoveWebpath(nMountID_, link.strWebPath);
  Network::shareNetwork()->ClearTrans(link.strWebPath, nMountID_);
  reset_sync(link.strWebPath, true, false);
}

}  // namespace nb
