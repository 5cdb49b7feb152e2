#pragma once
// One member of one dialog: a row of the message store's member table.
//
// A member's JSON does not name its dialog: whoever builds one from JSON
// sets strDialogID from the dialog it belongs to.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class DialogMember : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override;
  JsonValue dictionary() const override;

  std::string strDialogID;  // not read from JSON
  std::int64_t nMemberID = 0;
  std::string strMemberName;
  std::string strAvatar;
  std::uint64_t ullJoinDateline = 0;
  std::string strProperty;  // JSON object text, a plain text, or ""
};

}  // namespace nb
