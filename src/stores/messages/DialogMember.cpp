#include "stores/messages/DialogMember.h"

#include "stores/messages/DialogJson.h"

namespace nb {

void DialogMember::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  nMemberID = jsonInt64(json, "member_id");
  strMemberName = jsonTextOrEmpty(json, "name");
  strAvatar = jsonTextOrEmpty(json, "avatar");
  ullJoinDateline = jsonUInt64(json, "join_dateline");
  strProperty = dialogjson::nestedTextOrObject(json, "property");
}

JsonValue DialogMember::dictionary() const {
  return JsonObjectBuilder()
      .set("dialog_id", strDialogID)
      .set("member_id", nMemberID)
      .set("name", strMemberName)
      .set("avatar", strAvatar)
      .set("join_dateline", dialogjson::signedTime(ullJoinDateline))
      .setNestedJson("property", strProperty)
      .build();
}

}  // namespace nb
