#include <mutex>

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"

namespace nb {

namespace {

constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";

struct Refresher {
  std::mutex lock;
  HTTPEngine::TokenRefresher refresh;
};

Refresher& refresher() {
  static Refresher instance;
  return instance;
}

}  // namespace

void HTTPEngine::addNormalSignKey(SignKeyList& list, const std::string& token, int64_t mountid,
                                  const std::string& path) {
  addValueForString(list, "token", token);
  addValueForInteger(list, "mount_id", mountid);
  addValueForString(list, "fullpath", path);
  addValueForString(list, "machine", UserData::shareUserData().devicename());
}

bool HTTPEngine::send(RequestRet& ret, const Endpoint& endpoint, SignKeyList params) {
  if (endpoint.isSigned) addValueForString(params, "sign", getAuth(params));
  const std::string form = getKeyByString(params);
  const bool isGet = endpoint.method == "GET";
  const std::string url = isGet ? endpoint.url + "?" + form : endpoint.url;
  std::optional<platform::HttpHeaders> headers;
  if (!isGet) headers = platform::HttpHeaders{{"Content-Type", std::string(kFormContentType)}};
  NBHTTPRequest request(url, endpoint.method, std::move(headers),
                        isGet ? std::nullopt : std::optional<std::string>(form));

  ret.setFtStart(requestClockNow());
  const NBHTTPResponse response = request.connectNetSyncWithResponse(endpoint.timeout);
  ret.setStrRequestUrl(url);
  ret.setNStatusCode(response.statusCode);
  ret.setTransportFailure(response.failure);

  if (response.statusCode != 200) {
    ret.setValueWithErrorData(response.body);
    return true;
  }
  if (endpoint.checkMarker && !checkResponseHeader(response)) {
    ret.setNStatusCode(RequestRet::kNoMarker);
    ret.setValueWithErrorData(response.body);
    return false;
  }
  if (!endpoint.statusOnly) ret.setValueWithData(response.body);
  return false;
}

std::string HTTPEngine::apiUrl(std::string_view path) {
  return Util::getDealWithHttpsOrHttpUrl(ServerInfo::current()->strApiHost() + std::string(path));
}

void HTTPEngine::setTokenRefresher(TokenRefresher refresh) {
  auto& slot = refresher();
  std::lock_guard guard(slot.lock);
  slot.refresh = std::move(refresh);
}

std::string HTTPEngine::refreshToken(const std::string& expiredToken) {
  TokenRefresher refresh;
  {
    auto& slot = refresher();
    std::lock_guard guard(slot.lock);
    refresh = slot.refresh;
  }
  if (!refresh) {
    NBLOG_ERROR("no token refresher registered, the expired token is used again");
    return expiredToken;
  }
  return refresh(expiredToken);
}

}  // namespace nb
