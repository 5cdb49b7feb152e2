#include "api/models/MagicItem.h"

#include "foundation/json/Json.h"

namespace nb {

void MagicItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  nID = jsonInt32(json, "id");
  nType = jsonInt32(json, "type");
  strName = jsonTextOrEmpty(json, "name");
  strColor = jsonTextOrEmpty(json, "color");
}

JsonValue MagicItem::dictionary() const {
  return JsonObjectBuilder()
      .set("id", nID)
      .set("type", nType)
      .set("name", strName)
      .set("color", strColor)
      .build();
}

}  // namespace nb
