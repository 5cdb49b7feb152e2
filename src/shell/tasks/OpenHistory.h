#pragma once
// The opened-file history: a file the user opened for editing, or dragged out
// of a window, is remembered with the size and time it had.

#include <cstdint>

#include "api/models/OpenTransportItem.h"
#include "api/models/TransportItem.h"

namespace nb {

void recordOpenHistory(const OpenTransportItem& open);

// The history row of the file a transfer record fetches or holds.
void recordOpenHistory(const TransportItem& record, std::uint64_t uploadTime);

}  // namespace nb
