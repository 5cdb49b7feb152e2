#include "api/models/EntItem.h"

#include "foundation/json/Json.h"

namespace nb {

void EntItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  nEntID = jsonInt32(json, "ent_id");
  strEntName = jsonTextOrEmpty(json, "ent_name");
  strPropertys = JSONString(json).value_or("");
}

}  // namespace nb
