#include "api/models/RetEntGrantItem.h"

#include "foundation/json/Json.h"

namespace nb {

void RetEntGrantItem::setValueWithJson(const JsonValue& json) {
  strKey = jsonTextOrEmpty(json, "nbkey");
}

}  // namespace nb
