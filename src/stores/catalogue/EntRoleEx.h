#pragma once
// One role of an enterprise, as the catalogue store keeps it. Texts the
// server leaves out stay without a value (not the empty text).

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "foundation/json/Json.h"

namespace nb {

class EntRoleEx : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    nEntID = jsonInt64(json, "ent_id");
    nID = jsonInt64(json, "id");
    strName = jsonText(json, "name");
    bOrgAdmin = jsonFlag(json, "org_admin");
    strDescription = jsonText(json, "description");
    strPermissions = jsonNestedText(json, "permissions");
    strAddTime = jsonText(json, "addtime");
  }

  std::int64_t nEntID = 0;
  std::int64_t nID = 0;
  std::optional<std::string> strName = std::string();
  bool bOrgAdmin = false;
  std::optional<std::string> strDescription = std::string();
  std::string strPermissions;  // JSON text or ""
  std::optional<std::string> strAddTime = std::string();
};

}  // namespace nb
