#pragma once
// The sync test world for the page file operations: "docs" linked to
// "Docs" (sync link) with its manager started and its watcher stopped, the
// server holding what the tests put there, and the small readers the
// operation tests share.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "platform/OperationQueue.h"
#include "stores/transfer/MoveItem.h"
#include "support/ErrorAnswer.h"
#include "support/FakeFault.h"
#include "support/RealTransferEngine.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb::test {

class PageOpsWorld : public ServerDecisionWorld {
 protected:
  // A file in sync: on the server, on disk under "Docs" and as a row in
  // status 3 with the local time.
  SyncFileItem syncedFile(const std::string& webpath, const std::string& bytes) {
    putServerFile(webpath, bytes);
    const std::string relative = localOf(webpath);
    writeLocal(relative, bytes);
    SyncFileItem row = storeRow(webpath, bytes, SyncStatus::kSynced, localTime(relative));
    row.strUuidHash = tree().find(webpath)->hash;
    m().syncdb().update_uuidhash(webpath, row.strUuidHash);
    return row;
  }
  SyncFileItem syncedFolder(const std::string& webpath) {
    addServerFolder(webpath);
    makeLocalFolder(localOf(webpath));
    return storeFolderRow(webpath, SyncStatus::kSynced);
  }
  // "docs/a" -> "Docs/a".
  static std::string localOf(const std::string& webpath) { return "Docs" + webpath.substr(4); }

  static MoveItem item(const std::string& from, const std::string& to, bool dir = false) {
    return MoveItem{from, to, dir};
  }
  bool serverHas(const std::string& webpath) { return tree().find(webpath).has_value(); }
  int64_t status(const std::string& webpath) { return rowOf(webpath).nStatus; }
  void waitTasks() { app().taskQueue()->waitUntilAllOperationsAreFinished(); }
  // Uploads from the content hash, then the commit that pushes local deletions.
  void settle() {
    app().setLoginFinish(true);
    UserData::shareUserData().setBTransStart(true);
    {
      RealTransferEngine engine(Network::shareNetwork());
      ASSERT_TRUE(engine.drain(clock()));
    }
    m().commit();
  }
};

}  // namespace nb::test
