#pragma once
// The frame both save jobs share: every item inside one bulk addition and
// one transfer-store transaction, each registered as a folder-level task
// (with a notice when the user allows them) and marked fully queued after
// `queueItem` ran, then one "reget" to the download pages.

#include <functional>
#include <vector>

#include "api/models/TransportItem.h"
#include "transfer/jobs/SaveItem.h"

namespace nb::transfer {

// `record` comes filled with the item's library, paths and the waiting
// status; `queueItem` completes and queues it (or not).
using QueueSaveItem = std::function<void(const SaveItem& item, TransportItem& record)>;

void runSaveBatch(const std::vector<SaveItem>& items, const QueueSaveItem& queueItem);

}  // namespace nb::transfer
