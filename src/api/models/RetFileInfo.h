#pragma once
// Answer of the entry information call: the entry's members stand at the top
// level of the answer.

#include <optional>

#include "api/models/CompareItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetFileInfo : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // Nothing unless a 200 answer with a readable object came back: the entry
  // was not found.
  std::optional<CompareItem> pItem;
};

}  // namespace nb
