#include "api/models/RetCatchScreen.h"

#include "foundation/json/Json.h"

namespace nb {

void RetCatchScreen::setValueWithJson(const JsonValue& json) { url = jsonTextOrEmpty(json, "url"); }

}  // namespace nb
