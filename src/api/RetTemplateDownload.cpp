#include "api/RetTemplateDownload.h"

#include "foundation/Json.h"

namespace nb {

void RetTemplateDownload::setValueWithJson(const JsonValue& json) {
  url = jsonTextOrEmpty(json, "url");
}

}  // namespace nb
