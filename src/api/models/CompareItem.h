#pragma once
// One file or folder entry of a library, or one item of the per-folder change
// feed. The sync engine and the sync store work on it; it has no JSON form of
// its own (dictionary() gives nothing).

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class CompareItem : public BaseForJosnOrObject {
 public:
  // Change commands of a feed item (nCmd); other values are ignored by the
  // sync engine.
  static constexpr std::int64_t kCmdReset = -1;
  static constexpr std::int64_t kCmdDelete = 0;
  static constexpr std::int64_t kCmdAddOrChange = 1;

  // Reads an entry object; anything but an object leaves the fields as they
  // are. Absent or null members give 0, false or "".
  void setValueWithJson(const JsonValue& json) override;

  std::string strHash;               // the server's identifier of the entry
  std::string strWebPath;            // path inside the library, "/" between names
  std::string strWebPathTo;          // new path of a moved or renamed entry
  std::string strFileHash;           // SHA-1 of the content, 40 hex; "" for folders
  std::uint64_t ullFileSize = 0;     // bytes
  std::int64_t nCmd = 0;             // kCmd*, read through 32 bits
  bool bDir = false;
  std::uint64_t ullCreatorTime = 0;  // seconds since 1970
  std::int64_t nLastMemberID = 0;
  std::string strLastMemberName;
  std::uint64_t ullWebLastTime = 0;  // seconds since 1970
  std::int64_t nLock = 0;            // 0 is unlocked; read through 32 bits
  std::int64_t nLockMemberID = 0;
  std::string strPropertys;          // "" when absent, null or empty
};

}  // namespace nb
