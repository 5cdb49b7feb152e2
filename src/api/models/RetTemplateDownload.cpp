#include "api/models/RetTemplateDownload.h"

#include "foundation/json/Json.h"

namespace nb {

void RetTemplateDownload::setValueWithJson(const JsonValue& json) {
  url = jsonTextOrEmpty(json, "url");
}

}  // namespace nb
