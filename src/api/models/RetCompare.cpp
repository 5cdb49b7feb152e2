#include "api/models/RetCompare.h"

#include "foundation/json/Json.h"

namespace nb {

void RetCompare::setValueWithJson(const JsonValue& json) {
  version = jsonInt32(json, "version");
  dateline = jsonUInt64(json, "dateline");
  changekey = jsonTextOrEmpty(json, "sc");
  index = jsonUInt64(json, "id");
  itemlist = BaseForJosnOrObject::initAll<CompareItem>(json["list"]);
}

}  // namespace nb
