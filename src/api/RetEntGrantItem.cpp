#include "api/RetEntGrantItem.h"

#include "foundation/Json.h"

namespace nb {

void RetEntGrantItem::setValueWithJson(const JsonValue& json) {
  strKey = jsonTextOrEmpty(json, "nbkey");
}

}  // namespace nb
