// The account and library calls: account information, device
// registration, libraries, enterprises and storage servers.

#include "api/calls/HTTPEngineEndpoints.h"
#include "platform/Log.h"

namespace nb {

namespace {

constexpr int kServersTimeout = 5;  // seconds

std::string joined(const std::vector<int64_t>& ids) {
  std::string text;
  for (const int64_t id : ids) {
    if (!text.empty()) text += ',';
    text += std::to_string(id);
  }
  return text;
}

// The account answer keeps its whole body beside the fields read from it.
class AccountInfoRet : public RetUserInfo {
 public:
  void setValueWithData(const std::string& data) override {
    strJsonInfo = data;
    RetUserInfo::setValueWithData(data);
  }
};

RetMounts mountsBy(const std::string& token, const char* key, const std::vector<int64_t>& ids,
                   int reset) {
  return HTTPEngine::call<RetMounts>(endpoints::api("POST", "/1/account/mount"), token,
                                     [&](const std::string& t) {
    SignKeyList list;
    HTTPEngine::addValueForString(list, "token", t);
    HTTPEngine::addValueForString(list, key, joined(ids));
    return list;
  }, reset);
}

}  // namespace

RetUserInfo HTTPEngine::getAccountInfo(const std::string& token, int reset) {
  return call<AccountInfoRet>(endpoints::api("GET", "/1/account/info"), token, endpoints::tokenOnly, reset);
}

RetUserInfo HTTPEngine::setAccountDevice(const std::string& token, const std::string& device,
                                         const std::string& info, int reset) {
  // The form carries the token: only the device is logged.
  NBLOG_INFO("device:{}", device);
  return call<RetUserInfo>(endpoints::api("POST", "/1/account/set_device", true), token,
                           [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForString(list, "device", device);
    addValueForString(list, "info", info);
    return list;
  }, reset);
}

RetMounts HTTPEngine::getMounts(const std::string& token, int reset) {
  return call<RetMounts>(endpoints::api("POST", "/1/account/mount"), token, endpoints::tokenOnly, reset);
}

RetMounts HTTPEngine::getMounts(const std::string& token, const std::vector<int64_t>& orgids,
                                int reset) {
  return mountsBy(token, "org_id", orgids, reset);
}

RetMounts HTTPEngine::getMountsByIds(const std::string& token,
                                     const std::vector<int64_t>& mountids, int reset) {
  return mountsBy(token, "mount_id", mountids, reset);
}

RetEnts HTTPEngine::getEnts(const std::string& token, int reset) {
  return call<RetEnts>(endpoints::api("POST", "/1/account/ent"), token, endpoints::tokenOnly, reset);
}

RetGetServer HTTPEngine::getAccountServers(const std::string& token, const std::string& type,
                                           int reset) {
  Endpoint servers = endpoints::api("POST", "/1/account/servers");
  servers.timeout = kServersTimeout;
  return call<RetGetServer>(servers, token, [&](const std::string& t) {
    SignKeyList list;
    addValueForString(list, "token", t);
    addValueForString(list, "type", type);
    return list;
  }, reset);
}

}  // namespace nb
