#pragma once
// One favourite file of the user.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class FavoritesItem : public BaseForJosnOrObject {
 public:
  // Anything but an object leaves the fields as they are.
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t nID = 0;       // "fav_id", read through 32 bits
  std::int64_t nMountID = 0;  // "mount_id", read through 32 bits unlike MountItem
  std::string strUuidHash;    // "hash": the server's identifier of the file
};

}  // namespace nb
