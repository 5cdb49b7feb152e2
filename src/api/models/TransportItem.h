#pragma once
// One row of the transfer store's Download or Upload table, as the transfer
// engine and the transfer store hand it to each other.

#include <cstdint>
#include <string>

namespace nb {

// Transfer status of a queued record. A record is unfinished while its status
// is not kFinished; the start-up reset counts every value from kFailed up as
// failed.
enum TransferStatus : std::int64_t {
  kTransRunning = 1,
  kTransWaiting = 2,
  kTransStopped = 3,
  kTransFinished = 4,
  kTransFailed = 5,
};

inline bool isTransferFailed(std::int64_t status) { return status >= kTransFailed; }

struct TransportItem {
  std::int64_t nIndex = 0;    // record id
  std::int64_t nMountid = 0;  // library id
  std::string strWebpath;
  std::string strFullpath;
  std::string strFilehash;
  std::uint64_t ullFilesize = 0;
  bool bDir = false;
  std::int64_t nStatus = 0;  // TransferStatus
  std::uint64_t ullOffset = 0;
  std::uint64_t ullLast = 0;     // local modification time, seconds since 1970
  std::uint64_t ullActlast = 0;  // activity or not-before time, seconds since 1970
  std::int64_t nExpand = 0;      // record kind
  bool bSync = false;
  std::int64_t nError = 0;
  std::string strError;
  std::int64_t nStat = 0;
};

}  // namespace nb
