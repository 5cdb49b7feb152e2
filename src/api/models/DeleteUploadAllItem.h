#pragma once
// Library and path of one parent folder of pending uploads.

#include <cstdint>
#include <string>

namespace nb {

struct DeleteUploadAllItem {
  std::int64_t nMountid = 0;
  std::string strWebpath;
};

}  // namespace nb
