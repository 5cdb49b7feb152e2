#include "api/RetCatchScreen.h"

#include "foundation/Json.h"

namespace nb {

void RetCatchScreen::setValueWithJson(const JsonValue& json) { url = jsonTextOrEmpty(json, "url"); }

}  // namespace nb
