#pragma once
// Metadata of a pushed "api_member" message: asks the client to read one web
// API path again. The path stays without a value when the message lacks it.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "foundation/json/Json.h"

namespace nb {

class DialogMessageApi : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    nMemberID = jsonInt64(json, "member_id");
    strApi = jsonText(json, "api");
  }

  std::int64_t nMemberID = 0;
  std::optional<std::string> strApi = std::string();
};

}  // namespace nb
