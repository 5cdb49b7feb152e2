#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

void BaseForJosnOrObject::setValueWithJson(const JsonValue& /*json*/) {}

JsonValue BaseForJosnOrObject::dictionary() const {
  return JsonValue();
}

}  // namespace nb
