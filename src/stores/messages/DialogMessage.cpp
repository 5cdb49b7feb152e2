#include "stores/messages/DialogMessage.h"

#include "stores/messages/DialogJson.h"

namespace nb {

void DialogMessage::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  strDialogID = jsonTextOrEmpty(json, "dialog_id");
  strSender = jsonNumberOrText(json, "sender");
  strContent = jsonTextOrEmpty(json, "content");
  strFile = jsonNestedText(json, "file");
  strAct = jsonTextOrEmpty(json, "act");
  strMetadata = jsonNestedText(json, "metadata");
  strID = jsonTextOrEmpty(json, "id");
  ullDateline = jsonUInt64(json, "dateline");
  strProperty = dialogjson::nestedTextOrObject(json, "property");
  strAt = jsonNestedText(json, "at");
}

JsonValue DialogMessage::dictionary() const {
  return JsonObjectBuilder()
      .set("dialog_id", strDialogID)
      .set("sender", strSender)
      .set("content", strContent)
      .setNestedJson("file", strFile)
      .set("act", strAct)
      .setNestedJson("metadata", strMetadata)
      .set("id", strID)
      .set("dateline", dialogjson::signedTime(ullDateline))
      .setNestedJson("property", strProperty)
      .setNestedJson("at", strAt)
      .build();
}

}  // namespace nb
