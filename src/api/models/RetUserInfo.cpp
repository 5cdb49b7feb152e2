#include "api/models/RetUserInfo.h"

#include "foundation/json/Json.h"

namespace nb {

void RetUserInfo::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  nUserID = jsonInt64(json, "member_id");
  strUserName = jsonTextOrEmpty(json, "member_name");
  strUserEmail = jsonTextOrEmpty(json, "member_email");
  strUserPhone = jsonTextOrEmpty(json, "member_phone");
  strPhotoUrl = jsonTextOrEmpty(json, "avatar");
  if (const JsonValue& settings = json["settings"]; settings.isObject()) {
    nDeviceStatus = jsonInt64(settings, "disable_new_device");
  }
  if (const JsonValue& favorites = json["favorites"]; favorites.isArray()) {
    arrayFavorites = BaseForJosnOrObject::initAll<MagicItem>(favorites);
  }
  strMemberAccount = jsonTextOrEmpty(json, "member_account");
  strSource = jsonTextOrEmpty(json, "source");
}

}  // namespace nb
