#include "api/models/TemplateItem.h"

#include "foundation/json/Json.h"

namespace nb {

TemplateItem TemplateItem::initWithJsonDictionary(const JsonValue& json) {
  TemplateItem item;
  item.setValueWithJson(json);
  return item;
}

void TemplateItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  nEntID = jsonInt32(json, "ent_id");
  nID = jsonInt32(json, "id");
  strHash = jsonTextOrEmpty(json, "filehash");
  strName = jsonTextOrEmpty(json, "tpl_name");
  strExt = jsonTextOrEmpty(json, "ext");
  strFullpath = jsonTextOrEmpty(json, "fullpath");
  ullFilesize = jsonUInt64(json, "filesize");
  ullTime = jsonUInt64(json, "dateline");
  strProperty = jsonTextOrEmpty(json, "property");
}

}  // namespace nb
