#pragma once
// One pushed message item, as the pages hand it over (a chat message, or a
// notice the client acts on: "favorite", "offline", "api_member", ...).

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"
#include "stores/messages/DialogMessage.h"

namespace nb {

class SocketActionItem : public BaseForJosnOrObject {
 public:
  // Texts take a number as its decimal text; absent, null or "" give "".
  // The nested values are kept as parsed (null when absent).
  void setValueWithJson(const JsonValue& json) override;

  // The message to store for this item: dialog id, sender, content, act, id
  // and time; file, metadata, property, permission and at as compact JSON
  // text when they are an object or an array, else ""; state 0.
  DialogMessage change() const;

  std::string strType;
  std::string strAct;
  std::string strContent;
  std::string strSender;
  std::string strID;
  std::string strDialogID;
  std::uint64_t ullDateline = 0;
  JsonValue dicFile;
  JsonValue dicAt;
  JsonValue dicProperty;
  JsonValue dicPermission;
  JsonValue dicMetadata;
};

}  // namespace nb
