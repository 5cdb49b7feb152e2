#pragma once
// One row of the opened-file history: a file the user opened for editing.

#include <cstdint>
#include <string>

namespace nb {

struct OpenTransportItem {
  std::int64_t nMountid = 0;
  std::string strWebpath;
  std::string strFullpath;
  std::uint64_t ullFilesize = 0;
  std::uint64_t ullLast = 0;
  std::uint64_t ullUploadTime = 0;
};

}  // namespace nb
