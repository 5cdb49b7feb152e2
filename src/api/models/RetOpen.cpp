#include "api/models/RetOpen.h"

#include "foundation/json/Json.h"

namespace nb {

void RetOpen::setValueWithJson(const JsonValue& json) {
  strFileHash = jsonTextOrEmpty(json, "filehash");
  strUuidHash = jsonTextOrEmpty(json, "hash");
  ullFileSize = jsonUInt64(json, "filesize");
  ullDateline = jsonUInt64(json, "dateline");
  nLock = jsonInt32(json, "lock");
  // A stale holder id beside an open lock state would show a lock that is
  // not there.
  nLockID = nLock != 0 ? jsonInt64(json, "lock_member_id") : 0;
  const auto uris = json["uris"].elements();
  urlArray.emplace(uris.begin(), uris.end());
}

}  // namespace nb
