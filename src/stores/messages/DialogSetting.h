#pragma once
// The notification setting of one dialog.
//
// Its time is read from "read_dateline" (the key the pages send with a
// setting), not from "setting_dateline".

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "stores/messages/DialogJson.h"

namespace nb {

class DialogSetting : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override {
    if (!json.isObject()) return;
    strDialogID = jsonTextOrEmpty(json, "dialog_id");
    strSetting = dialogjson::nestedTextOrObject(json, "setting");
    ullDateline = jsonUInt64(json, "read_dateline");
  }

  std::string strDialogID;
  std::string strSetting;  // JSON object text, a plain text, or ""
  std::uint64_t ullDateline = 0;
};

}  // namespace nb
