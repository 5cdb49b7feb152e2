#pragma once
// The page events the page-driven operations send about one row, and the
// page form of a row that names its library.

#include <cstdint>
#include <memory>

#include "foundation/json/JsonValue.h"
#include "stores/syncdb/SyncFileItem.h"

namespace nb {

class SyncManager;

// "UpdateFileInfo" with the row's page form to every web window; nothing
// for a row that does not exist.
void sendUpdateFileInfo(SyncManager& manager, const SyncFileItem& item);

// A row's page form with the library's "mount_id" added.
JsonValue withMountId(const JsonValue& page, int64_t mountId);

}  // namespace nb
