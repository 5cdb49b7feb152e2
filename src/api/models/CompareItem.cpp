#include "api/models/CompareItem.h"

#include "foundation/json/Json.h"

namespace nb {

void CompareItem::setValueWithJson(const JsonValue& json) {
  if (!json.isObject()) {
    return;
  }
  strHash = jsonTextOrEmpty(json, "hash");
  strWebPath = jsonTextOrEmpty(json, "fullpath");
  strWebPathTo = jsonTextOrEmpty(json, "fullpath_to");
  strFileHash = jsonTextOrEmpty(json, "filehash");
  ullFileSize = jsonUInt64(json, "filesize");
  nCmd = jsonInt32(json, "cmd");
  bDir = jsonFlag(json, "dir");
  ullCreatorTime = jsonUInt64(json, "create_dateline");
  nLastMemberID = jsonInt64(json, "last_member_id");
  strLastMemberName = jsonTextOrEmpty(json, "last_member_name");
  ullWebLastTime = jsonUInt64(json, "last_dateline");
  nLock = jsonInt32(json, "lock");
  nLockMemberID = jsonInt64(json, "lock_member_id");
  strPropertys = jsonNestedText(json, "property");
}

}  // namespace nb
