#pragma once
// Answer of opening a file for download (/2/file/open).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/models/RequestRet.h"

namespace nb {

class RetOpen : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::string strFileHash;        // SHA-1 of the content, 40 hex
  std::string strUuidHash;        // "hash": the server's identifier of the entry
  std::uint64_t ullFileSize = 0;  // bytes
  std::uint64_t ullDateline = 0;  // seconds since 1970
  std::int64_t nLock = 0;         // 0 is unlocked; read through 32 bits
  std::int64_t nLockID = 0;       // the lock holder; 0 whenever nLock is 0
  // "uris" elements unchanged; nothing before a successful answer, empty
  // when "uris" is no array.
  std::optional<std::vector<JsonValue>> urlArray;
};

}  // namespace nb
