#pragma once
// Answer of listing a folder (/1/file/ls).

#include <optional>
#include <vector>

#include "api/models/CompareItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetFileList : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // One entry per element of "list", in order; nothing before a successful
  // answer, empty when "list" is no array.
  // Every entry's nCmd is kCmdAddOrChange, whatever the element held.
  std::optional<std::vector<CompareItem>> itemlist;
};

}  // namespace nb
