#pragma once
// One enterprise of the user, as the enterprise list answer gives it.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class EntItem : public BaseForJosnOrObject {
 public:
  // Reads an enterprise object; anything but an object leaves the fields as
  // they are. bRemove is left alone.
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t nEntID = 0;   // read through a signed 32-bit integer
  std::string strEntName;    // "" when absent or null
  std::string strPropertys;  // the whole enterprise object, compact JSON
  bool bRemove = false;      // working mark of the catalogue refresh
};

}  // namespace nb
