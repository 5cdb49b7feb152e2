#pragma once
// Answer of the user's favourite files (/1/favorites/get_all_files).

#include <optional>
#include <vector>

#include "api/models/FavoritesItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetFavoritesList : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  // One per element of "list", in order; nothing before a successful
  // answer, empty when "list" is no array.
  std::optional<std::vector<FavoritesItem>> itemlist;
};

}  // namespace nb
