#include "api/models/RetSettingList.h"

namespace nb {

void RetSettingList::setValueWithJson(const JsonValue& json) {
  itemlist.emplace();
  for (const JsonValue& element : json["list"].elements()) {
    itemlist->push_back(SettingItem::initWithJsonDictionary(element));
  }
}

}  // namespace nb
