#pragma once
// One page of a folder's change feed (/1/file/compare). The sync engine sends
// (dateline, index) back to ask for the next page.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/models/CompareItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetCompare : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t version = 0;     // read through 32 bits; nothing reads it
  std::uint64_t dateline = 0;   // feed position, first half
  std::string changekey;        // "sc"; "" when absent; nothing reads it
  std::uint64_t index = 0;      // "id": feed position, second half
  // The page's changes in feed order; nothing before a successful answer,
  // empty when "list" is no array.
  std::optional<std::vector<CompareItem>> itemlist;
};

}  // namespace nb
