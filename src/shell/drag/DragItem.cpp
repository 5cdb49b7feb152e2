#include "shell/drag/DragItem.h"

#include "foundation/json/Json.h"

namespace nb {

drag_item drag_item::initWithDictionary(const JsonValue& value) {
  drag_item item;
  if (!value.isObject()) return item;
  item.mountid = jsonInt64(value, "mount_id");
  item.webpath = jsonTextOrEmpty(value, "webpath");
  item.filehash = jsonTextOrEmpty(value, "filehash");
  return item;
}

}  // namespace nb
