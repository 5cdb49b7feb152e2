#pragma once
// The state of one transfer as a dispatch thread takes it from the transfer
// store's next-job queries.

#include <cstdint>
#include <string>

namespace nb {

struct TransTaskItem {
  // Set by the next-job queries.
  std::int64_t nIndex = 0;
  std::int64_t nMountid = 0;
  std::string strWebpath;
  std::string strSavepath;  // the local path
  std::string strFilehash;
  std::uint64_t ullFilesize = 0;
  bool bDir = false;
  std::int64_t nStatus = 0;  // TransferStatus
  std::uint64_t ullOffset = 0;
  std::int64_t nExpand = 0;
  bool bSync = false;
  std::int64_t nStat = 0;     // downloads
  std::uint64_t ullLast = 0;  // uploads

  // Kept by the transfer itself while it runs.
  std::string strPathhash;
  std::string strTemppath;
  std::string strStoragePoint;
  std::uint64_t ullSpeed = 0;
  std::string strMsg;
  std::int64_t nTransExpand = 0;
};

}  // namespace nb
