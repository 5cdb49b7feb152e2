#include "shell/app/AccountInfo.h"

#include "api/session/UserData.h"
#include "stores/catalogue/Mountsdb.h"

namespace nb {

void applyAccountInfo(const RetUserInfo& info, ServerInfo* server) {
  if (server && !info.strSource.empty() && server->strSource().empty()) {
    server->resetSource(info.strSource);
  }
  UserData::shareUserData().updateUserInfoByRetUserInfo(info);
  if (info.arrayFavorites) Mountsdb::shareMountsdb().updateAllMagic(*info.arrayFavorites);
}

void applySignInToken(const RetToken& token) {
  UserData& session = UserData::shareUserData();
  session.setUserToken(token.strAccessToken);
  session.setRefreshToken(token.strRefreshToken);
  session.setExpiresTime(token.nExpires);
  session.setUllDateline(token.ullDateline);
}

}  // namespace nb
