#pragma once
// Answer of the account information call. The shell's automatic sign-in also
// fills one from the account JSON saved with the last sign-in.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/models/MagicItem.h"
#include "api/models/RequestRet.h"

namespace nb {

class RetUserInfo : public RequestRet {
 public:
  void setValueWithJson(const JsonValue& json) override;

  std::int64_t nUserID = 0;  // "member_id"
  std::string strUserName;
  std::string strUserEmail;
  std::string strUserPhone;
  std::string strPhotoUrl;
  // "settings"."disable_new_device"; untouched when "settings" is no object.
  std::int64_t nDeviceStatus = 0;
  // The favourite groups; untouched (nothing at first) when "favorites" is no
  // array.
  std::optional<std::vector<MagicItem>> arrayFavorites;
  std::string strJsonInfo;  // the whole body text, set by the caller
  std::string strMemberAccount;
  std::string strSource;  // the account's deployment source
};

}  // namespace nb
