// The token endpoint with its three grant types, and the activation of a new
// refresh token.

#include "api/session/ClientId.h"
#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "foundation/app/AppState.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace nb {
namespace {

constexpr int kHttpsTries = 2;

// Does not read the body of a refusal: the activation only wants the status.
class StatusOnly : public RequestRet {
 public:
  void setValueWithErrorData(const std::string&) override {}
};

// Sends one token request. `grant` holds grant_type and its credential; the
// common members follow. The form holds passwords and tokens, so only the
// device text is logged.
RetToken tokenCall(const std::string& url, SignKeyList grant, const std::string& info,
                   const std::string& device) {
  HTTPEngine::addValueForString(grant, "info", info);
  HTTPEngine::addValueForString(grant, "device", device);
  HTTPEngine::addValueForString(grant, "client_id", std::string(kClientId));
  HTTPEngine::addValueForULongLong(grant, "dateline", platform::nowSeconds());
  NBLOG_INFO("device:{}", device);
  const HTTPEngine::Endpoint endpoint{.url = url, .repeats = false};
  RetToken ret = HTTPEngine::call<RetToken>(
      endpoint, "", [&grant](const std::string&) { return grant; });
  if (ret.nStatusCode() == 200 && !ret.strApiHost.empty()) {
    ServerInfo::current()->setStrApiHost(ret.strApiHost);
  }
  return ret;
}

SignKeyList grantOf(const char* grantType) {
  SignKeyList list;
  HTTPEngine::addValueForString(list, "grant_type", grantType);
  return list;
}

bool finalLoginAnswer(const RetToken& ret) {
  return ret.nStatusCode() == 200 || !ret.strErrorMsg().empty();
}

}  // namespace

RetToken HTTPEngine::login(const std::string& username, const std::string& password,
                           const std::string& info, const std::string& device,
                           const std::string& baseUrl) {
  SignKeyList list = grantOf("password");
  addValueForString(list, "username", username);
  addValueForString(list, "password", password);
  return tokenCall(baseUrl + "/oauth2/token2", std::move(list), info, device);
}

RetToken HTTPEngine::loginMore(const std::string& username, const std::string& password,
                               const std::string& info, const std::string& device) {
  const std::string apiHost = ServerInfo::current()->strApiHost();
  RetToken ret;
  bool refusedOnly = true;
  for (int attempt = 0; attempt < kHttpsTries; ++attempt) {
    ret = login(username, password, info, device, "https://" + apiHost);
    if (finalLoginAnswer(ret)) {
      return ret;
    }
    refusedOnly = refusedOnly && ret.transportFailure() == platform::TransportFailure::Connect;
  }
  // A password never goes out in the clear when HTTPS is required. Nor
  // after a server that took the connection failed HTTPS in any way: anyone
  // on the path can forge a certificate or break a handshake, so only a
  // server that does not take HTTPS connections at all, one without HTTPS,
  // gets the plain try.
  if (Util::getAppDelegate()->checkUseHttps() || !refusedOnly) {
    NBLOG_ERROR("password sign-in over https failed, no plain retry");
    return ret;
  }
  return login(username, password, info, device, "http://" + apiHost);
}

RetToken HTTPEngine::checkLogin(const std::string& nbkey, const std::string& info,
                                const std::string& device) {
  SignKeyList list = grantOf("nbkey");
  addValueForString(list, "nbkey", nbkey);
  return tokenCall(apiUrl("/oauth2/token2"), std::move(list), info, device);
}

RetToken HTTPEngine::refreshToken(const std::string& refreshToken, const std::string& info,
                                  const std::string& device) {
  SignKeyList list = grantOf("refresh_token");
  addValueForString(list, "refresh_token", refreshToken);
  return tokenCall(apiUrl("/oauth2/token2"), std::move(list), info, device);
}

RequestRet HTTPEngine::activateRefresh(const std::string& token, const std::string& refreshtoken) {
  SignKeyList list;
  addValueForString(list, "token", token);
  addValueForString(list, "refresh_token", refreshtoken);
  const Endpoint endpoint{.url = apiUrl("/1/account/activate_refresh"),
                          .checkMarker = false,
                          .statusOnly = true,
                          .repeats = false};
  return call<StatusOnly>(endpoint, "", [&list](const std::string&) { return list; });
}

}  // namespace nb
