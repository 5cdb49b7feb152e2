// Page functions that read the session and the deployment: tokens, the
// user, the computer, enterprises, addresses, request signatures, the
// device name, the cache and the network flags.

#include <cctype>
#include <thread>

#include "api/calls/HTTPEngine.h"
#include "api/calls/UtilSso.h"
#include "api/server/ServerInfo.h"
#include "api/session/ClientId.h"
#include "api/session/UserData.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/SignInFunctions.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilFiles.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"
#include "shell/windows/WebWindowController.h"
#include "stores/catalogue/Mountsdb.h"

namespace nb::bridge {

namespace {

const std::string kEmpty = "{}";

std::string text(const JsonValue& value) { return JSONString(value).value_or(kEmpty); }

bool signedIn() { return NBWebViewDelegate::checkLogin(); }

// The argument only: answers of this group carry tokens, never logged.
void logCall(const PageCall& call) { NBLOG_DEBUG("{},{}", call.name, call.json()); }

std::string tokenInfo() {
  UserData& user = UserData::shareUserData();
  return text(JsonValue::object({{"token", user.userToken()},
                                 {"refresh_token", user.refreshToken()},
                                 {"dateline", user.ullDateline()},
                                 {"client_id", std::string(kClientId)}}));
}

// A path inside a query value: everything but unreserved characters and
// "/" escaped, so "&", "#", "%" or "+" in a name cannot break the query.
std::string encodePath(std::string_view path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> gGetUrl(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  if (!args || !args->isObject()) return Util::errorInfoWithCode(Util::kBadParameters);
  std::string url = jsonTextOrEmpty(*args, "url");
  if (const std::string webpath = jsonTextOrEmpty(*args, "webpath"); !webpath.empty()) {
    url += url.find('?') != std::string::npos ? "&fullpath=" : "?fullpath=";
    url += encodePath(webpath) + "&mountid=" + std::to_string(jsonInt64(*args, "mount_id"));
  }
  std::string address;
  if (jsonInt64(*args, "sso") != 0) {
    address = Util::mixtureurl(url, "http://" + ServerInfo::current()->strWebHost(),
                               UserData::shareUserData().userToken());
  } else {
    address = Util::CheckHttpWithUrl(url);
  }
  return text(JsonValue::object({{"weburl", address}}));
}

std::optional<std::string> gUserInfo(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::string info = UserData::shareUserData().jsonUserinfo();
  return signedIn() && !info.empty() ? info : kEmpty;
}

std::optional<std::string> gSiteDomain(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::string host = Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strWebHost());
  return text(JsonValue::object({{"domain", host}}));
}

std::optional<std::string> gApiHost(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::string host = Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strApiHost());
  return text(JsonValue::object({{"host", host}}));
}

std::optional<std::string> gGetToken(const PageCall& call, WebWindowController&) {
  logCall(call);
  if (!signedIn()) return kEmpty;
  return text(JsonValue::object({{"token", UserData::shareUserData().userToken()}}));
}

std::optional<std::string> gGetTokenInfo(const PageCall& call, WebWindowController&) {
  logCall(call);
  return signedIn() ? tokenInfo() : kEmpty;
}

// Runs a web call off the main thread (which would freeze every window
// meanwhile) and answers the page when it is done.
void answerLater(const PageCall& call, std::function<std::string()> work) {
  std::thread([bridge = call.bridge, id = call.callbackId, work = std::move(work)] {
    std::string answer;
    try {
      answer = work();
    } catch (const std::exception& error) {
      NBLOG_ERROR("page call failed: {}", error.what());
      return;
    }
    if (auto answering = bridge.lock()) answering->answer(id, answer);
  }).detach();
}

std::optional<std::string> gGetApiAuthorization(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  if (!args || !args->isObject()) return kEmpty;
  SignKeyList list;
  for (const JsonMember& member : args->members()) {
    const JsonValue& value = member.value();
    std::string valueText;
    if (value.isString()) {
      valueText = std::string(value.asString());
    } else if (value.isNumber()) {
      valueText = std::to_string(value.toInt64());
    }
    list.push_back({std::string(member.key()), std::move(valueText)});
  }
  return text(JsonValue::object({{"sign", HTTPEngine::getAuth(list)}}));
}

std::optional<std::string> gComputerInfo(const PageCall& call, WebWindowController&) {
  logCall(call);
  return text(JsonValue::object({{"name", UserData::shareUserData().getcomputer()}}));
}

std::optional<std::string> gGetEnt(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  if (!args || !args->isObject() || !signedIn()) return kEmpty;
  const std::optional<EntItem> ent = Mountsdb::shareMountsdb().getEnt(jsonInt64(*args, "ent_id"));
  if (!ent) return Util::errorInfoWithCode(Util::kStatusOk, "");
  return ent->strPropertys;
}

std::optional<std::string> gGetEnts(const PageCall& call, WebWindowController&) {
  logCall(call);
  if (!signedIn()) return kEmpty;
  std::vector<JsonValue> list;
  for (const EntItem& ent : Mountsdb::shareMountsdb().getEnts()) {
    if (auto parsed = dictionaryFromString(ent.strPropertys)) list.push_back(std::move(*parsed));
  }
  if (list.empty()) return kEmpty;
  return text(JsonValue::object({{"list", JsonValue::array(std::move(list))}}));
}

std::optional<std::string> gClearCache(const PageCall& call, WebWindowController&) {
  logCall(call);
  if (!signedIn()) return std::nullopt;
  Util::deletefolder(UserData::shareUserData().getcache(), false);
  if (auto registry = currentWindowRegistry("cache cleared")) {
    if (auto event = PageEvent::fromJsonText("UpdateFileList", "{}")) {
      registry->setAllCustomEvent(*event);
    }
  }
  return std::nullopt;
}

std::optional<std::string> gGetNetworkStatus(const PageCall& call, WebWindowController&) {
  logCall(call);
  return Util::getAppDelegate()->bLinkNetwork() ? "1" : "0";
}

std::optional<std::string> gGetNeedloading(const PageCall& call, WebWindowController&) {
  logCall(call);
  return Util::getAppDelegate()->bNeedLoading() ? "1" : "0";
}

std::optional<std::string> gConfigInfo(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::string info = ServerInfo::current()->strConfigInfo();
  return info.empty() ? kEmpty : info;
}

std::optional<std::string> gRefreshToken(const PageCall& call, WebWindowController&) {
  logCall(call);
  if (!signedIn()) return kEmpty;
  answerLater(call, [] {
    UserData::shareUserData().regettoken();
    return signedIn() ? tokenInfo() : kEmpty;
  });
  return std::nullopt;
}

std::optional<std::string> gSetDevice(const PageCall& call, WebWindowController&) {
  logCall(call);
  const std::optional<JsonValue> args = dictionaryFromString(call.json());
  const std::string ok = Util::errorInfoWithCode(Util::kStatusOk, "");
  if (!args || !args->isObject()) return ok;
  UserData& user = UserData::shareUserData();
  user.setDevicename(jsonTextOrEmpty(*args, "name"));
  answerLater(call, [ok] {
    UserData& session = UserData::shareUserData();
    HTTPEngine::setAccountDevice(session.userToken(), session.getdevice(), session.getinfo(), 0);
    return ok;
  });
  return std::nullopt;
}

}  // namespace

void registerAccountFunctions() {
  setPageHandler("gGetUrl", gGetUrl);
  setPageHandler("gUserInfo", gUserInfo);
  setPageHandler("gSiteDomain", gSiteDomain);
  setPageHandler("gApiHost", gApiHost);
  setPageHandler("gGetToken", gGetToken);
  setPageHandler("gGetTokenInfo", gGetTokenInfo);
  setPageHandler("gRefreshToken", gRefreshToken);
  setPageHandler("gGetApiAuthorization", gGetApiAuthorization);
  setPageHandler("gComputerInfo", gComputerInfo);
  setPageHandler("gSetDevice", gSetDevice);
  setPageHandler("gGetEnt", gGetEnt);
  setPageHandler("gGetEnts", gGetEnts);
  setPageHandler("gClearCache", gClearCache);
  setPageHandler("gGetNetworkStatus", gGetNetworkStatus);
  setPageHandler("gGetNeedloading", gGetNeedloading);
  setPageHandler("gConfigInfo", gConfigInfo);
}

}  // namespace nb::bridge
