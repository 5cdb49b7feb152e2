#pragma once
// One file or folder row of a library's sync store (SYNC). A lookup that
// finds nothing answers a new record with nStatus -1 (see notFound()).

#include <cstdint>
#include <string>
#include <string_view>

#include "api/models/CompareItem.h"
#include "foundation/json/JsonValue.h"
#include "stores/syncdb/SyncStatus.h"

namespace nb {

struct SyncFileItem {
  int64_t nID = -1;
  // Row id of the parent folder's row; 0 at the library's top level.
  int64_t nUpID = -1;
  std::string strWebPath;
  bool bDir = false;
  // SHA-1 of the content, 40 lower-case hex characters; empty when not taken.
  std::string strFileHash;
  uint64_t ullFileSize = 0;  // bytes
  // The server's identity hash of the entry.
  std::string strUuidHash;
  uint64_t ullLastTime = 0;     // local modification time, s since 1970
  uint64_t ullWebLastTime = 0;  // server modification time, s since 1970
  int64_t nLastID = 0;          // member id of the last editor
  std::string strLastName;
  uint64_t ullCreatorTime = 0;  // s since 1970
  int64_t nLock = 0;            // the server's lock state, kept as given
  int64_t nLockID = 0;          // member holding the lock
  int64_t nStatus = 0;          // SyncStatus code
  // The server's property JSON text, as received.
  std::string strProperty;

  // The page form of the record, one entry of a page's file list. The caller
  // decides the arguments: `linkType` of the entry's link (negative outside
  // any link), `have` whether a local or cached copy is at hand, `cache`
  // whether the path lies in a cache-mode folder, `favorite` the JSON list of
  // the favourite groups holding the file ("" for none). "favorites" is left
  // out when that text is empty or does not parse.
  JsonValue convert2dictionary(int64_t linkType, int64_t have, int64_t cache,
                               std::string_view favorite) const;

  // Fills `item` as if the server had sent this row back in its change feed;
  // the item's move target, command and folder flag stay as the caller set
  // them.
  void ChangeToCompareItem(CompareItem& item) const;

  static SyncFileItem notFound() {
    SyncFileItem item;
    item.nStatus = SyncStatus::kNotFound;
    return item;
  }
};

}  // namespace nb
