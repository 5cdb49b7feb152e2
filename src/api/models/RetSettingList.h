#pragma once
// Answer of the server-side client settings (/1/account/setting).

#include <optional>
#include <vector>

#include "api/models/RequestRet.h"
#include "api/models/SettingItem.h"

namespace nb {

class RetSettingList : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // One per element of "list", in order; nothing before a successful
  // answer, empty when "list" is no array.
  std::optional<std::vector<SettingItem>> itemlist;
};

}  // namespace nb
