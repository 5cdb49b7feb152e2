#include "api/models/RetFileInfo.h"

namespace nb {

void RetFileInfo::setValueWithJson(const JsonValue& json) {
  pItem = BaseForJosnOrObject::init<CompareItem>(json);
}

}  // namespace nb
