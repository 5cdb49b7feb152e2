#include "api/models/FavoritesItem.h"

#include "foundation/json/Json.h"

namespace nb {

void FavoritesItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  nID = jsonInt32(json, "fav_id");
  nMountID = jsonInt32(json, "mount_id");
  strUuidHash = jsonTextOrEmpty(json, "hash");
}

}  // namespace nb
