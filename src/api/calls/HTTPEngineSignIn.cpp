// The calls that carry the client to a session and to its configuration:
// update check, passport look-up, enterprise grant, deployment configuration.

#include <random>

#include <fmt/format.h>

#include "api/calls/HTTPEngine.h"
#include "api/calls/UrlMask.h"
#include "api/server/ServerInfo.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace nb {
namespace {

constexpr int kConfigTimeout = 5;  // seconds: discovery holds up the launch

// Keeps the raw body of the answer, whatever it holds, instead of reading it.
class RawAnswer : public RequestRet {
 public:
  void setValueWithData(const std::string& data) override { body = data; }
  void setValueWithErrorData(const std::string& data) override { body = data; }
  std::string body;
};

// Parameters that do not depend on the access token.
HTTPEngine::ParamsForToken fixedParams(SignKeyList list) {
  return [list = std::move(list)](const std::string&) { return list; };
}

RetPassport passport(const std::string& passportUrl, const char* key, const std::string& value) {
  SignKeyList list;
  HTTPEngine::addValueForString(list, key, value);
  const HTTPEngine::Endpoint endpoint{.url = passportUrl + "/account/client-login",
                                      .isSigned = false,
                                      .checkMarker = false,
                                      .repeats = false};
  return HTTPEngine::call<RetPassport>(endpoint, "", fixedParams(std::move(list)));
}

// Base64 of the compact JSON {account, n, t, sign}, where sign is keyed with
// the other program's secret over "account\nn\nt".
std::string entGrantTicket(const std::string& secret, const std::string& account) {
  const uint64_t t = platform::nowSeconds();
  const std::string n = HTTPEngine::randStr(6);
  SignKeyList signed_;
  HTTPEngine::addValueForString(signed_, "account", account);
  HTTPEngine::addValueForString(signed_, "n", n);
  HTTPEngine::addValueForULongLong(signed_, "t", t);
  const JsonValue ticket = JsonObjectBuilder()
                               .set("account", account)
                               .set("n", n)
                               .set("t", t)
                               .set("sign", HTTPEngine::getAuth(signed_, secret))
                               .build();
  return base64Encoded(JSONString(ticket).value_or("")).value_or("");
}

}  // namespace

std::optional<std::string> HTTPEngine::checkUpdates(const std::string& version) {
  const std::shared_ptr<ServerInfo> server = ServerInfo::current();
  const char* scheme = Util::getAppDelegate()->bUseHttps() ? "https" : "http";
  // The channel names the archive build the host offers this client.
  const std::string url = fmt::format(
      "{}://{}/update/app?n={}&v={}&t={}&branch={}", scheme, server->strUpdateHost(),
      urlEncoded(server->strUpdateChannel()), urlEncoded(version), platform::nowSeconds(),
      urlEncoded(server->strUpdateBranch()));
  const NBHTTPResponse response = NBHTTPRequest(url, "GET").connectNetSyncWithResponse(60);
  if (response.statusCode != 200 || response.body.empty()) {
    return std::nullopt;
  }
  return response.body;
}

RetPassport HTTPEngine::passportAccount(const std::string& passportUrl, const std::string& account) {
  return passport(passportUrl, "account", account);
}

RetPassport HTTPEngine::passportSource(const std::string& passportUrl, const std::string& source) {
  return passport(passportUrl, "source", source);
}

RetEntGrantItem HTTPEngine::getEntGrant(const std::string& hostUrl, const std::string& clientid,
                                        const std::string& secret, const std::string& account) {
  SignKeyList list;
  addValueForString(list, "client_id", clientid);
  addValueForString(list, "ticket", entGrantTicket(secret, account));
  addValueForString(list, "format", "json");
  const Endpoint endpoint{.method = "GET",
                          .url = hostUrl + "/account/autologin/entgrant",
                          .isSigned = false,
                          .checkMarker = false,
                          .repeats = false};
  return call<RetEntGrantItem>(endpoint, "", fixedParams(std::move(list)));
}

bool HTTPEngine::getConfigSource(const std::string& source, const std::string& clientid,
                                 std::string& json) {
  SignKeyList list;
  addValueForString(list, "client_id", clientid);
  addValueForString(list, "source", source);
  const Endpoint endpoint{
      .method = "GET", .url = apiUrl("/1/config/source"), .timeout = kConfigTimeout, .repeats = false};
  const RawAnswer answer = call<RawAnswer>(endpoint, "", fixedParams(std::move(list)));
  if (answer.nStatusCode() != 200) {
    NBLOG_ERROR("httpcode={},ret={}", answer.nStatusCode(), maskSecretsInBody(answer.body));
    return false;
  }
  json = answer.body;
  return true;
}

std::string HTTPEngine::randStr(int length) {
  thread_local std::mt19937 random{std::random_device{}()};
  std::string text;
  for (int i = 0; i < length; ++i) {
    text += static_cast<char>('a' + random() % 26);
  }
  return text;
}

}  // namespace nb
