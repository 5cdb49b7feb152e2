#pragma once
// Answer of the enterprise list call.

#include <optional>
#include <vector>

#include "api/models/EntItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetEnts : public RequestRet {
 public:
  // Replaces itemlist with one record per element of "list", in order; a
  // "list" that is no array gives an empty list.
  void setValueWithJson(const JsonValue& json) override;

  // Nothing unless a 200 answer with a readable object came back; callers
  // treat nothing as an empty list.
  std::optional<std::vector<EntItem>> itemlist;
};

}  // namespace nb
