#include "api/models/RetGetDownload.h"

#include "foundation/json/Json.h"

namespace nb {

void RetGetDownload::setValueWithJson(const JsonValue& json) {
  filesize = jsonUInt64(json, "filesize");
  urls.clear();
  for (const JsonValue& url : json["urls"].elements()) {
    if (url.isString()) urls.emplace_back(url.asString());
  }
}

}  // namespace nb
