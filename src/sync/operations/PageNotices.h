#pragma once
// The page events the page-driven operations send about one row.

#include <memory>

#include "stores/syncdb/SyncFileItem.h"

namespace nb {

class SyncManager;

// "UpdateFileInfo" with the row's page form to every web window; nothing
// for a row that does not exist.
void sendUpdateFileInfo(SyncManager& manager, const SyncFileItem& item);

}  // namespace nb
