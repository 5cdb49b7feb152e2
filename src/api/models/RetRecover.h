#pragma once
// Answer of recovering deleted entries (/1/file/recover): the entries brought back.

#include <optional>
#include <vector>

#include "api/models/CompareItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetRecover : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // One entry per element of "list", in order; nothing before a successful
  // answer, empty when "list" is no array.
  std::optional<std::vector<CompareItem>> itemlist;
};

}  // namespace nb
