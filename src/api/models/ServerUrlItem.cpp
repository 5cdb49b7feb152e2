#include "api/models/ServerUrlItem.h"

#include "foundation/json/Json.h"

namespace nb {
namespace {

// Appends ":port" unless the port is empty or the scheme's default.
void appendPort(std::string& address, const std::string& port, const char* defaultPort) {
  if (!port.empty() && port != defaultPort) {
    address += ':';
    address += port;
  }
}

}  // namespace

void ServerUrlItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  strHost = jsonTextOrEmpty(json, "hostname");
  strPort = jsonNumberOrText(json, "port");
  strHttps = jsonNumberOrText(json, "https");
  strPath = jsonTextOrEmpty(json, "path");
  strSign = jsonTextOrEmpty(json, "sign");
  ullDateline = jsonUInt64(json, "dateline");
}

std::string ServerUrlItem::hostWithPort(bool& https) const {
  if (strHost.empty()) {
    return "";
  }
  std::string address = strHost;
  // The preferred scheme's port "0" means the server lacks it: use the other.
  const std::string& preferred = https ? strHttps : strPort;
  const std::string& other = https ? strPort : strHttps;
  if (preferred == "0") {
    if (other == "0") {
      return "";
    }
    https = !https;
  }
  if (https) {
    appendPort(address, strHttps, "443");
  } else {
    appendPort(address, strPort, "80");
  }
  if (!strPath.empty()) {
    address += '/';
    address += strPath;
  }
  return address;
}

}  // namespace nb
