#include "stores/messages/SocketActionItem.h"

#include "foundation/json/Json.h"

namespace nb {

namespace {

std::string containerText(const JsonValue& value) {
  if (!value.isContainer()) return std::string();
  return JSONString(value).value_or(std::string());
}

}  // namespace

void SocketActionItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) return;
  strType = jsonNumberOrText(json, "type");
  strAct = jsonNumberOrText(json, "act");
  strContent = jsonNumberOrText(json, "content");
  strSender = jsonNumberOrText(json, "sender");
  strID = jsonNumberOrText(json, "id");
  strDialogID = jsonNumberOrText(json, "dialog_id");
  ullDateline = jsonUInt64(json, "dateline");
  dicFile = json["file"];
  dicAt = json["at"];
  dicProperty = json["property"];
  dicPermission = json["permission"];
  dicMetadata = json["metadata"];
}

DialogMessage SocketActionItem::change() const {
  DialogMessage message;
  message.strDialogID = strDialogID;
  message.strSender = strSender;
  message.strContent = strContent;
  message.strAct = strAct;
  message.strID = strID;
  message.ullDateline = ullDateline;
  message.strFile = containerText(dicFile);
  message.strMetadata = containerText(dicMetadata);
  message.strProperty = containerText(dicProperty);
  message.strPermission = containerText(dicPermission);
  message.strAt = containerText(dicAt);
  message.nState = 0;
  return message;
}

}  // namespace nb
