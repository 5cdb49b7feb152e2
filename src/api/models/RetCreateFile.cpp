#include "api/models/RetCreateFile.h"

#include "api/models/ServerUrlItem.h"
#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilUrl.h"

namespace nb {

namespace {

std::vector<std::string> serverUrls(const JsonValue& array) {
  std::vector<std::string> urls;
  for (const JsonValue& element : array.elements()) {
    const auto server = BaseForJosnOrObject::init<ServerUrlItem>(element);
    // Each server may switch the scheme for itself only.
    bool https = Util::getAppDelegate()->checkUseHttps();
    const std::string host = server.hostWithPort(https);
    // An empty host would become a bare scheme that no upload can reach.
    if (!host.empty()) urls.push_back(Util::getDealWithHttpsOrHttpUrl(host, https));
  }
  return urls;
}

}  // namespace

void RetCreateFile::setValueWithJson(const JsonValue& json) {
  nState = jsonInt32(json, "state");
  strHash = jsonTextOrEmpty(json, "hash");
  strFileHash = jsonTextOrEmpty(json, "filehash");
  strStoragePoint = jsonTextOrEmpty(json, "storage_point");
  ullFileSize = jsonUInt64(json, "filesize");
  ullLastDateline = jsonUInt64(json, "last_dateline");
  arrayServers = serverUrls(json["uploads"]);
  arrayCacheServers = serverUrls(json["cache_uploads"]);
}

}  // namespace nb
