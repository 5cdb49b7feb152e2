#pragma once
// Metadata of a pushed "favorite" message: a change to the user's favourite
// groups. Texts start empty; those the message lacks lose their value.

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "foundation/json/Json.h"

namespace nb {

class DialogMessageFavorite : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    strUuidHash = jsonText(json, "hash");
    nID = jsonInt64(json, "fav_id");
    nMountID = jsonInt64(json, "mount_id");
    strWebPath = jsonText(json, "fullpath");
    nAct = jsonInt64(json, "act");
  }

  std::optional<std::string> strUuidHash = std::string();
  std::int64_t nID = 0;
  std::int64_t nMountID = 0;
  std::optional<std::string> strWebPath = std::string();
  std::int64_t nAct = 0;
};

}  // namespace nb
