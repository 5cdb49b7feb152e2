#pragma once
// One library ("mount") as the library list answers give it. The catalogue
// store keeps every field; pages receive strInfo, the library object as the
// server sent it.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class MountItem : public BaseForJosnOrObject {
 public:
  // Reads every member of a library object; anything but an object leaves
  // the fields as they are. Clears bRemove.
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t nMountID = 0;
  std::int64_t nOrgID = 0;
  std::string strOrgName;            // "" when absent
  std::int64_t nMemberType = 0;      // the user's role in the organisation
  std::int64_t nOrgType = 0;
  std::int64_t llOrgUse = 0;         // bytes used
  std::int64_t llOrgTotal = 0;       // bytes allowed
  std::int64_t nEntID = 0;           // read through a signed 32-bit integer
  std::string strPropertys;          // the "property" text, "" when absent
  std::string strInfo;               // the whole library object, compact JSON
  std::int64_t nCompare = 0;         // 1 when the answer leaves it out
  std::uint64_t ullAddDateline = 0;  // seconds since 1970
  bool bRemove = false;              // working mark of the catalogue refresh
};

}  // namespace nb
