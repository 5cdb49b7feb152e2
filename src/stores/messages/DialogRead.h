#pragma once
// The read mark of one dialog: up to which time the user has read it.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "foundation/json/Json.h"

namespace nb {

class DialogRead : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    strDialogID = jsonTextOrEmpty(json, "dialog_id");
    ullDateline = jsonUInt64(json, "read_dateline");
  }

  std::string strDialogID;
  std::uint64_t ullDateline = 0;
};

}  // namespace nb
