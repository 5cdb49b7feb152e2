#include "api/models/RetRecover.h"

namespace nb {

void RetRecover::setValueWithJson(const JsonValue& json) {
  itemlist = BaseForJosnOrObject::initAll<CompareItem>(json["list"]);
}

}  // namespace nb
