// The session's token refresh, the sign-out on a refused refresh token and
// the copy of the account information.

#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/models/RetToken.h"
#include "api/models/RetUserInfo.h"
#include "api/session/UserData.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb {

namespace {

std::mutex& hooksMutex() {
  static std::mutex mutex;
  return mutex;
}

SessionHooks& hooksStorage() {
  static SessionHooks hooks;  // guarded by hooksMutex()
  return hooks;
}

constexpr int64_t kSignInRefused = 102;

void logAnswer(const RetToken& ret) {
  NBLOG_INFO("{},{},{}", ret.nStatusCode(), ret.nErrorCode(), ret.strErrorDescription);
}

// Ends the session after the server refused the refresh token, in the
// order the shell relies on: stored sign-in, badge, session record, then
// the windows on the main thread.
void signOut(UserData& user, const RetToken& ret) {
  if (auto clear = UserData::sessionHooks().clearuserinfo) {
    clear();
  } else {
    // The sign-out goes on: keeping a session whose refresh token is dead
    // helps nobody, but the saved sign-in will be tried again at start-up.
    NBLOG_ERROR("regettoken: no clearuserinfo registered, the saved sign-in stays");
  }
  auto app = Util::getAppDelegate();
  app->gSetMessageCount(R"({"count":0})");
  user.exit();
  const std::string message = Util::getChangeTokenError(ret.strErrorDescription);
  platform::MainThread::postAndWait([app] { app->refreshWithLoginByTokenError(); });
  platform::MainThread::postAndWait([app] { app->logoutByError(); });
  platform::MainThread::postAndWait(
      [app, message] { app->loginResultOnMainThread("login", kSignInRefused, message); });
  if (ret.nErrorCode() == RetToken::kOAuthDeprecated) app->checkServerAppandUI();
}

}  // namespace

void UserData::setSessionHooks(SessionHooks hooks) {
  std::lock_guard lock(hooksMutex());
  hooksStorage() = std::move(hooks);
}

SessionHooks UserData::sessionHooks() {
  std::lock_guard lock(hooksMutex());
  return hooksStorage();
}

bool UserData::isRefusedRefresh(const RetToken& ret) {
  const int64_t status = ret.nStatusCode();
  // A passing server fault (5xx) or a missing answer is no refusal, whatever
  // code it carries: signing out on it would lose a good refresh token.
  if (status == 200 || ret.nErrorCode() == 0 || status >= 500) return false;
  if (status >= 400) return true;
  const auto oauth = RetToken::oauthErrorCode(ret.strErrorMsg());
  return oauth && *oauth >= RetToken::kOAuthRefused && *oauth <= RetToken::kOAuthDeprecated;
}

std::string UserData::getTokenByRefresh() {
  std::lock_guard lock(lockToken_);
  const RetToken ret = HTTPEngine::refreshToken(refreshToken(), getinfo(), getdevice());
  logAnswer(ret);
  if (ret.nStatusCode() == 200) {
    setUserToken(ret.strAccessToken);
    setRefreshToken(ret.strRefreshToken);
    setExpiresTime(ret.nExpires);
  }
  return userToken();
}

void UserData::regettoken() {
  {
    std::lock_guard lock(lockToken_);
    if (refreshing_) return;
    refreshing_ = true;
  }
  struct ClearRefreshing {
    UserData& user;
    ~ClearRefreshing() {
      std::lock_guard lock(user.lockToken_);
      user.refreshing_ = false;
    }
  } clearOnExit{*this};

  const std::string used = refreshToken();
  const RetToken ret = HTTPEngine::refreshToken(used, getinfo(), getdevice());
  logAnswer(ret);
  if (ret.nStatusCode() == 200) {
    {
      // Keeps a concurrent getTokenByRefresh from seeing half a pair.
      std::lock_guard lock(lockToken_);
      setUserToken(ret.strAccessToken);
      setRefreshToken(ret.strRefreshToken);
      setExpiresTime(ret.nExpires);
    }
    if (auto reload = sessionHooks().reloadAccountSettings) {
      reload(ret.strAccessToken);
    } else {
      NBLOG_ERROR("regettoken: no reloadAccountSettings registered, account settings not reloaded");
    }
    return;
  }
  // A synchronous refresh on another thread may have rotated the token
  // while this call went out with the old one: its refusal says nothing of
  // the session.
  if (isRefusedRefresh(ret) && refreshToken() == used) signOut(*this, ret);
}

void UserData::updateUserInfoByRetUserInfo(const RetUserInfo& info) {
  setUserID(info.nUserID);
  setUserEmail(info.strUserEmail);
  setUserWebName(info.strUserName);
  setUserPhoto(info.strPhotoUrl);
  setUserPhone(info.strUserPhone);
  setJsonUserinfo(info.strJsonInfo);
  setStrMemberAccount(info.strMemberAccount);
  setDevicestatus(info.nDeviceStatus >= 1);
}

}  // namespace nb
