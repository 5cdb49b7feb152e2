#include "api/models/RetFavoritesList.h"

namespace nb {

void RetFavoritesList::setValueWithJson(const JsonValue& json) {
  itemlist = BaseForJosnOrObject::initAll<FavoritesItem>(json["list"]);
}

}  // namespace nb
