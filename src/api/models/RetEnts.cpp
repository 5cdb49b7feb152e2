#include "api/models/RetEnts.h"

namespace nb {

void RetEnts::setValueWithJson(const JsonValue& json) {
  itemlist = BaseForJosnOrObject::initAll<EntItem>(json["list"]);
}

}  // namespace nb
