#pragma once
// The sync test world with one linked folder and its started manager, and
// the small builders the server-decision tests share: server entries,
// stored rows, local files with chosen times, and what the transfer store
// was asked to move.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "api/models/CompareItem.h"
#include "api/models/TransportItem.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {

class ServerDecisionWorld : public SyncWorld {
 protected:
  // Server and local times the tests give their items.
  static constexpr uint64_t kServerTime = 1'700'000'000;
  static constexpr uint64_t kLocalTime = 1'690'000'000;

  // Links "docs" to "Docs" (`type` 2 sync, 1 backup) and starts the manager.
  void startLinked(int64_t type = 2) {
    linkFolder("docs", "Docs", type);
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
    // The tests call the engine themselves: the real watcher would answer
    // their local edits again, on its own thread and at its own time.
    center().stopWatch(local("Docs").string(), m_);
  }
  SyncManager& m() { return *m_; }

  static CompareItem entry(const std::string& path, const std::string& bytes,
                           uint64_t webtime = kServerTime) {
    CompareItem item;
    item.strWebPath = path;
    item.strHash = "id-" + path;
    item.strFileHash = sha1HexDigest(bytes);
    item.ullFileSize = bytes.size();
    item.nCmd = CompareItem::kCmdAddOrChange;
    item.ullWebLastTime = webtime;
    item.ullCreatorTime = webtime;
    return item;
  }
  static CompareItem folderEntry(const std::string& path) {
    CompareItem item = entry(path, "");
    item.strFileHash.clear();
    item.bDir = true;
    return item;
  }

  // A row recorded for `bytes` with local time `lasttime`.
  SyncFileItem storeRow(const std::string& path, const std::string& bytes, int64_t status,
                        uint64_t lasttime = kLocalTime) {
    SyncFileItem row;
    row.strWebPath = path;
    row.nUpID = m().getFileUpID(path);
    row.strFileHash = sha1HexDigest(bytes);
    row.ullFileSize = bytes.size();
    row.ullLastTime = lasttime;
    row.ullWebLastTime = kServerTime - 100;
    row.strUuidHash = "id-" + path;
    row.nStatus = status;
    row.nID = m().syncdb().add_new_file(row);
    return row;
  }
  SyncFileItem storeFolderRow(const std::string& path, int64_t status) {
    SyncFileItem row;
    row.strWebPath = path;
    row.bDir = true;
    row.nUpID = m().getFileUpID(path);
    row.nStatus = status;
    row.nID = m().syncdb().add_new_file(row);
    return row;
  }
  SyncFileItem rowOf(const std::string& path) { return m().syncdb().get_single_file(path); }

  // A local file with the given modification time.
  void writeLocalAt(const std::string& relative, const std::string& bytes, uint64_t mtime) {
    writeLocal(relative, bytes);
    Util::setfilemodifytime(local(relative).string(), mtime);
  }
  uint64_t localTime(const std::string& relative) const {
    return Util::filemodifytime(local(relative).string());
  }
  bool localExists(const std::string& relative) const {
    return std::filesystem::exists(std::filesystem::symlink_status(local(relative)));
  }

  // The waiting transfer records of a web path; nIndex 0 when none.
  static TransportItem download(const std::string& path) {
    return TransPortDB::shareTransPortDB().Get_Download(kMountId, path);
  }
  static TransportItem upload(const std::string& path) {
    return TransPortDB::shareTransPortDB().Get_Upload(kMountId, path);
  }

 private:
  std::shared_ptr<SyncManager> m_;
};

}  // namespace nb::test
