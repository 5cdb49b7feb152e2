#include "stores/messages/Dialog.h"

#include "stores/messages/DialogJson.h"

namespace nb {

void Dialog::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  nEntID = jsonInt64(json, "ent_id");
  strDialogID = jsonTextOrEmpty(json, "id");
  ullDateline = jsonUInt64(json, "dateline");
  ullReadMessageDateline = jsonUInt64(json, "read_dateline");
  ullLastMessageDateline = jsonUInt64(json, "last_dateline");
  ullSettingDateline = jsonUInt64(json, "setting_dateline");
  strSetting = jsonNestedText(json, "setting");
  strName = jsonTextOrEmpty(json, "name");
  strType = jsonTextOrEmpty(json, "type");
  strCreator = jsonNumberOrText(json, "creator");
  ullCreateTimer = jsonUInt64(json, "create_dateline");
  strProperty = dialogjson::nestedTextOrObject(json, "property");
  strFile = jsonNestedText(json, "file");
  nUnread = jsonInt64(json, "unread_count");
  strLastMessage = jsonNestedText(json, "last_message");
}

JsonValue Dialog::dictionary() const {
  using dialogjson::signedTime;
  return JsonObjectBuilder()
      .set("ent_id", nEntID)
      .set("id", strDialogID)
      .set("dateline", signedTime(ullDateline))
      .set("read_dateline", signedTime(ullReadMessageDateline))
      .set("last_dateline", signedTime(ullLastMessageDateline))
      .set("setting_dateline", signedTime(ullSettingDateline))
      .setNestedJson("setting", strSetting)
      .set("name", strName)
      .set("type", strType)
      .set("creator", strCreator)
      .set("create_dateline", signedTime(ullCreateTimer))
      .set("sticky_dateline", signedTime(ullSticky))
      .setNestedJson("property", strProperty)
      .setNestedJson("file", strFile)
      .set("unread_count", nUnread)
      .setNestedJson("last_message", strLastMessage)
      .build();
}

}  // namespace nb
