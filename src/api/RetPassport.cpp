#include "api/RetPassport.h"

#include "foundation/Json.h"

namespace nb {

void RetPassport::setValueWithJson(const JsonValue& json) {
  strServerHost = jsonTextOrEmpty(json, "domain");
}

}  // namespace nb
