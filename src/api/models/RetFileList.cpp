#include "api/models/RetFileList.h"

namespace nb {

void RetFileList::setValueWithJson(const JsonValue& json) {
  itemlist = BaseForJosnOrObject::initAll<CompareItem>(json["list"]);
  // A listing states what is there; the sync engine applies it as adds.
  for (CompareItem& item : *itemlist) item.nCmd = CompareItem::kCmdAddOrChange;
}

}  // namespace nb
