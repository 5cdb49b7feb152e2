#pragma once
// Answer of download_checksum: the storage server's block checksums, kept as
// the raw body for the delta upload. Set by the call only on a 200 with the
// marker; never parsed here.

#include <string>

#include "api/models/RequestRet.h"

namespace nb {

class RetUploadCheckSum : public RequestRet {
 public:
  const std::string& checksum() const { return checksum_; }
  void setChecksum(std::string bytes) { checksum_ = std::move(bytes); }

 private:
  std::string checksum_;  // bytes
};

}  // namespace nb
