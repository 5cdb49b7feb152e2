#include "api/models/RetPassport.h"

#include "foundation/json/Json.h"

namespace nb {

void RetPassport::setValueWithJson(const JsonValue& json) {
  strServerHost = jsonTextOrEmpty(json, "domain");
}

}  // namespace nb
