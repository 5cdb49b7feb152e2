#include "api/RetGetDownload.h"

#include "foundation/Json.h"

namespace nb {

void RetGetDownload::setValueWithJson(const JsonValue& json) {
  filesize = jsonUInt64(json, "filesize");
  urls.clear();
  for (const JsonValue& url : json["urls"].elements()) {
    if (url.isString()) urls.emplace_back(url.asString());
  }
}

}  // namespace nb
