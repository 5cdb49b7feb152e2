#include "api/models/RetHotFileList.h"

namespace nb {

void RetHotFileList::setValueWithJson(const JsonValue& json) {
  const auto elements = json["list"].elements();
  itemlist.emplace(elements.begin(), elements.end());
}

}  // namespace nb
