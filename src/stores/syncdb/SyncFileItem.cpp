#include "stores/syncdb/SyncFileItem.h"

#include "foundation/util/UtilStatus.h"

namespace nb {

JsonValue SyncFileItem::convert2dictionary(int64_t linkType, int64_t have, int64_t cache,
                                           std::string_view favorite) const {
  JsonObjectBuilder page;
  page.set("path", strWebPath)
      .set("dir", bDir ? 1 : 0)
      .set("filehash", strFileHash)
      .set("filesize", ullFileSize)
      .set("uuidhash", strUuidHash)
      .set("lasttime", ullWebLastTime != 0 ? ullWebLastTime : ullLastTime)
      .set("lastid", nLastID)
      .set("lastname", strLastName)
      .set("creatortime", ullCreatorTime)
      .set("lock", nLock)
      .set("lockid", nLockID)
      .set("property", strProperty)
      .set("status", Util::changestatus(nStatus, linkType))
      .set("have", have)
      .set("synctype", linkType)
      .set("sync", linkType >= 0 ? 1 : 0)
      .set("iscached", cache)
      .setNestedJson("favorites", favorite);
  return page.build();
}

void SyncFileItem::ChangeToCompareItem(CompareItem& item) const {
  item.strHash = strUuidHash;
  item.strWebPath = strWebPath;
  item.strFileHash = strFileHash;
  item.ullFileSize = ullFileSize;
  item.ullCreatorTime = ullCreatorTime;
  item.ullWebLastTime = ullLastTime;
  item.nLastMemberID = nLastID;
  item.strLastMemberName = strLastName;
  item.nLock = nLock;
  item.nLockMemberID = nLockID;
  item.strPropertys = strProperty;
}

}  // namespace nb
