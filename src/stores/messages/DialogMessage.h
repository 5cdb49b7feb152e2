#pragma once
// One message of one dialog: a row of the message store's message table.
// Message ids are unique over all dialogs.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class DialogMessage : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override;
  // Leaves out nState and strPermission.
  JsonValue dictionary() const override;

  std::string strDialogID;
  std::string strSender;  // member id as text
  std::string strContent;
  std::string strFile;  // JSON text or ""
  std::string strAct;
  std::string strMetadata;  // JSON text or ""
  std::string strID;
  std::int64_t nState = 0;  // not read from JSON; always 0 in this system
  std::uint64_t ullDateline = 0;
  std::string strProperty;    // JSON object text, a plain text, or ""
  std::string strPermission;  // set only from a pushed item
  std::string strAt;          // JSON text or ""
};

}  // namespace nb
