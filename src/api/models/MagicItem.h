#pragma once
// One favourite group of the user (the account information's "favorites").
// The catalogue store keeps them; dictionary() is the form pages receive.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class MagicItem : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override;
  // {"id","type","name","color"}; every key is present, texts as "" when
  // empty.
  JsonValue dictionary() const override;

  std::int64_t nID = 0;    // read through a signed 32-bit integer
  std::int64_t nType = 0;  // read through a signed 32-bit integer
  std::string strName;
  std::string strColor;
  bool bRemove = false;    // working mark of the catalogue store
};

}  // namespace nb
