#include "api/models/RetTemplates.h"

namespace nb {

void RetTemplates::setValueWithJson(const JsonValue& json) {
  itemlist.emplace();
  for (const JsonMember& member : json.members()) {
    if (!member.value().isArray()) continue;
    // The key names the enterprise; it wins over an element's own "ent_id".
    const std::int64_t entId = member.keyValue().toInt32();
    for (const JsonValue& element : member.value().elements()) {
      TemplateItem item = TemplateItem::initWithJsonDictionary(element);
      item.nEntID = entId;
      itemlist->push_back(std::move(item));
    }
  }
}

}  // namespace nb
