#pragma once
// One chat dialog: a row of the message store's dialog list, and the JSON
// the pages exchange for it.
//
// The sticky time is never read from JSON (a dialog made from JSON is not
// sticky) but is written as "sticky_dateline". The creation time has no
// column, so a dialog read back from the store has ullCreateTimer 0.

#include <cstdint>
#include <string>

#include "foundation/json/BaseForJosnOrObject.h"

namespace nb {

class Dialog : public BaseForJosnOrObject {
 public:
  void setValueWithJson(const JsonValue& json) override;
  JsonValue dictionary() const override;

  std::int64_t nEntID = 0;
  std::string strDialogID;
  std::uint64_t ullDateline = 0;  // seconds since 1970, as every time here
  std::uint64_t ullReadMessageDateline = 0;
  std::uint64_t ullLastMessageDateline = 0;
  std::uint64_t ullSettingDateline = 0;
  std::string strSetting;  // JSON text or ""
  std::string strName;
  std::string strType;
  std::string strCreator;  // member id as text
  std::uint64_t ullCreateTimer = 0;
  std::uint64_t ullSticky = 0;  // 0: not sticky
  std::string strProperty;      // JSON object text, a plain text, or ""
  std::string strFile;          // JSON text or ""
  std::int64_t nUnread = 0;
  std::string strLastMessage;  // JSON text or ""
};

}  // namespace nb
