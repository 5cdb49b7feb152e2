// Page functions of the sign-in page and the session start: sign-in by
// account or key, the account re-read, the session start, log-off.

#include "bridge/functions/SignInFunctions.h"

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/PageHandlers.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilSession.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "shell/app/AccountInfo.h"
#include "shell/app/AppDelegate.h"

namespace nb::bridge {

namespace {

std::shared_ptr<AppDelegate> shellApp() {
  auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
  if (!app) NBLOG_ERROR("sign-in page functions need the shell's application state");
  return app;
}

std::string loginAnswer(const std::string& error, const std::string& description,
                        const std::string& token) {
  return JSONString(JsonValue::object(
                        {{"error", error}, {"error_description", description}, {"token", token}}))
      .value_or("{}");
}

void setServerHost(const std::string& host) {
  if (auto server = ServerInfo::current()) server->setServerHost(host);
  UserData::shareUserData().setStrServerHost(host);
}

// The shared end of both sign-ins, from the token answer on.
std::string finishSignIn(AppDelegate& app, const RetToken& ret) {
  if (ret.nStatusCode() != 200) {
    if (ret.nErrorCode() == RetToken::kOAuthDeprecated) app.checkServerAppandUI();
    return loginAnswer(ret.strErrorMsg(), Util::getChangeTokenError(ret.strErrorDescription), "");
  }
  applySignInToken(ret);
  const RetUserInfo info = HTTPEngine::getAccountInfo(ret.strAccessToken, 0);
  if (info.nStatusCode() != 200) {
    return loginAnswer("1", Util::localizedStringForKey("用户信息获取失败"), "");
  }
  applyAccountInfo(info, ServerInfo::current().get());
  app.setBLogin(true);
  return loginAnswer("", "", ret.strAccessToken);
}

std::optional<std::string> gLogin(const PageCall& call, WebWindowController&) {
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  if (!args || !args->isObject()) return Util::errorInfoWithCode(Util::kBadParameters);
  auto app = shellApp();
  if (!app) return Util::errorInfoWithCode(Util::kStatusFailed);
  app->setBManuallogin(jsonInt64(*args, "manuallogin") >= 1);
  const std::string username = jsonTextOrEmpty(*args, "username");
  if (!username.empty()) {
    const std::string passport = Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strPassport());
    const RetPassport found = HTTPEngine::passportAccount(passport, username);
    if (found.nStatusCode() == 200 && !found.strServerHost.empty()) setServerHost(found.strServerHost);
  }
  UserData& user = UserData::shareUserData();
  const RetToken ret = HTTPEngine::loginMore(username, jsonTextOrEmpty(*args, "password"),
                                             user.getinfo(), user.getdevice());
  return finishSignIn(*app, ret);
}

std::optional<std::string> gLoginByKey(const PageCall& call, WebWindowController&) {
  auto app = shellApp();
  if (!app) return Util::errorInfoWithCode(Util::kStatusFailed);
  // Never refused: without an object the key is simply empty.
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  std::string key;
  if (args && args->isObject()) {
    app->setBManuallogin(jsonInt64(*args, "manuallogin") >= 1);
    key = jsonTextOrEmpty(*args, "key");
    if (const std::string site = jsonTextOrEmpty(*args, "site"); !site.empty()) setServerHost(site);
  }
  UserData& user = UserData::shareUserData();
  return finishSignIn(*app, HTTPEngine::checkLogin(key, user.getinfo(), user.getdevice()));
}

std::optional<std::string> gSetUserInfo(const PageCall&, WebWindowController&) {
  auto app = shellApp();
  if (!app) return std::nullopt;
  const RetUserInfo info = HTTPEngine::getAccountInfo(UserData::shareUserData().userToken(), 0);
  if (info.nStatusCode() == 200 && info.nUserID >= 1) {
    applyAccountInfo(info, ServerInfo::current().get());
  }
  return std::nullopt;
}

std::optional<std::string> gStartLaunchpad(const PageCall&, WebWindowController&) {
  NBLOG_INFO("gStartLaunchpad");
  UserData::shareUserData().setBShowLaunchpad(true);
  if (auto app = shellApp()) {
    platform::MainThread::post([app] { app->checkBySqlToLogin(); });
  }
  return std::nullopt;
}

std::optional<std::string> gLogoff(const PageCall& call, WebWindowController&) {
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  const bool keep = args && args->isObject() && jsonInt64(*args, "saveuserinfo") != 0;
  auto app = shellApp();
  if (!app) return std::nullopt;
  Util::deletefolderfavorite(app->favritePathString());
  app->logoff(keep);
  return std::nullopt;
}

}  // namespace

void registerSignInFunctions() {
  setPageHandler("gLogin", gLogin);
  setPageHandler("gLoginByKey", gLoginByKey);
  setPageHandler("gSetUserInfo", gSetUserInfo);
  setPageHandler("gStartLaunchpad", gStartLaunchpad);
  setPageHandler("gLogoff", gLogoff);
  registerAccountFunctions();
}

}  // namespace nb::bridge
