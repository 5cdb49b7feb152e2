#include "api/models/SettingItem.h"

#include "foundation/json/Json.h"

namespace nb {

SettingItem SettingItem::initWithJsonDictionary(const JsonValue& json) {
  SettingItem item;
  item.setValueWithJson(json);
  return item;
}

void SettingItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  strSetting = jsonTextOrEmpty(json, "setting");
  nValue = jsonInt32(json, "value");
  strProperty = jsonTextOrEmpty(json, "property");
}

}  // namespace nb
