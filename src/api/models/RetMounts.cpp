#include "api/models/RetMounts.h"

namespace nb {

void RetMounts::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  itemlist = BaseForJosnOrObject::initAll<MountItem>(json["list"]);
}

}  // namespace nb
