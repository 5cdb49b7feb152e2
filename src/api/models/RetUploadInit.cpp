#include "api/models/RetUploadInit.h"

#include "foundation/json/Json.h"

namespace nb {

void RetUploadInit::setValueWithJson(const JsonValue& json) {
  session = jsonTextOrEmpty(json, "session");
  piecelen = jsonInt32(json, "piecelen");
}

}  // namespace nb
