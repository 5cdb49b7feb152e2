#pragma once
// One row of the re-sync queue (SYNCEDNOW) as it is listed.

#include <cstdint>
#include <string>

namespace nb {

struct SyncNow {
  std::string strWebPath;
  bool bDir = false;
  // Feed time reached by the re-sync under way; 0 while queued.
  uint64_t ullDateline = 0;
};

}  // namespace nb
