#include "support/SyncWorld.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include <glib.h>

#include "api/session/UserData.h"
#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/text/StringHelpers.h"
#include "stores/cache/SyncCache.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/messages/MessageDb.h"
#include "stores/syncdb/Syncdb.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/MountCompare.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/local/ScanPause.h"

namespace nb::test {

namespace fs = std::filesystem;

std::ostream& operator<<(std::ostream& out, const TreeItem& item) {
  return out << (item.dir ? "dir" : "file " + item.filehash);
}

std::ostream& operator<<(std::ostream& out, const RowState& row) {
  return out << "status " << row.status << (row.dir ? " dir" : " file " + row.filehash);
}

void openSyncSession(FakeAppState& app, const fs::path& home, const FakeUser& user,
                     const std::string& token, const std::vector<FakeLibrary>& libraries) {
  UserData& data = UserData::shareUserData();
  data.setUserID(user.memberId);
  data.setUserToken(token);
  // The session's paths hang off the process's first HOME; a run of many
  // tests in one process needs the folder back.
  fs::create_directories(data.configPath());
  // GLib keeps that first HOME too: moving a file to the Trash needs both.
  fs::create_directories(g_get_home_dir());
  fs::create_directories(g_get_user_data_dir());
  Mountsdb::shareMountsdb().setPath(data.getmountdb());
  TransPortDB::shareTransPortDB().setPath(data.gettransdb());
  SyncCache::shareSyncCache().setPath(data.getcache());
  for (const auto& library : libraries) {
    MountItem item;
    item.nMountID = library.mountId;
    item.nOrgID = library.orgId;
    item.strOrgName = library.orgName;
    item.nEntID = library.entId;
    item.strPropertys = library.property;
    item.strInfo = "{\"mount_id\":" + std::to_string(library.mountId) + "}";
    Mountsdb::shareMountsdb().addMount(item);
  }
  app.setFavoritesPath((home / "Favorites").string());
  fs::create_directories(home / "Sync");
  SyncCenter::shareSyncCenter().setinit(data.getMessageDb(), /*coordinatorThread=*/false);
}

void closeSyncSession() {
  SyncCenter& sync = SyncCenter::shareSyncCenter();
  sync.exit();
  sync.taskqueue().waitUntilAllOperationsAreFinished();
  UserData& user = UserData::shareUserData();
  Mountsdb::shareMountsdb().exit();
  TransPortDB::shareTransPortDB().exit();
  TransPortDB::shareTransPortDB().close();
  std::error_code ec;
  fs::remove_all(user.getuserfolderpath(), ec);
  user.setUserToken({});
}

void SyncWorld::SetUp() {
  FakeDriveFixture::SetUp();
  clockOverride_ = std::make_unique<ScopedClockOverride>(clock_);
  network_ = std::make_unique<ScopedNetwork>();
  ScanPause::setSleeper([pauses = scanPauses_](std::chrono::milliseconds) { ++*pauses; });
  openSyncSession(*app_, home(), user_, token_, drive_->libraries());
}

void SyncWorld::TearDown() {
  closeSyncSession();
  network_.reset();
  ScanPause::setSleeper(nullptr);
  clockOverride_.reset();
  FakeDriveFixture::TearDown();
}

SyncCenter& SyncWorld::center() { return SyncCenter::shareSyncCenter(); }

void SyncWorld::putServerFile(const std::string& path, const std::string& bytes) {
  drive_->putFile(kMountId, path, bytes);
}

void SyncWorld::addServerFolder(const std::string& path) {
  EXPECT_EQ(tree().addFolder(path, FakeMember{99, "someone else"}), FakeTreeError::None) << path;
}

void SyncWorld::removeServer(const std::string& path) {
  EXPECT_EQ(tree().remove(path, FakeMember{99, "someone else"}), FakeTreeError::None) << path;
}

void SyncWorld::renameServer(const std::string& path, const std::string& newname) {
  EXPECT_EQ(tree().rename(path, newname, FakeMember{99, "someone else"}), FakeTreeError::None)
      << path;
}

void SyncWorld::moveServer(const std::string& path, const std::string& targetFolder) {
  EXPECT_EQ(tree().move(path, targetFolder, FakeMember{99, "someone else"}), FakeTreeError::None)
      << path;
}

Tree SyncWorld::serverTree(const std::string& folder) {
  Tree result;
  const std::string base = FakeLibraryTree::normalize(folder);
  std::vector<std::string> pending{base};
  while (!pending.empty()) {
    const std::string current = pending.back();
    pending.pop_back();
    for (const auto& entry : tree().list(current).value_or(std::vector<FakeEntry>{})) {
      const std::string relative = base.empty() ? entry.fullpath : entry.fullpath.substr(base.size() + 1);
      result[relative] = TreeItem{entry.dir, entry.dir ? "" : entry.filehash};
      if (entry.dir) pending.push_back(entry.fullpath);
    }
  }
  return result;
}

fs::path SyncWorld::local(const std::string& relative) const {
  const fs::path path(relative);
  return path.is_absolute() ? path : localRoot() / path;
}

void SyncWorld::writeLocal(const std::string& relative, const std::string& bytes) {
  const fs::path path = local(relative);
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void SyncWorld::makeLocalFolder(const std::string& relative) { fs::create_directories(local(relative)); }

void SyncWorld::removeLocal(const std::string& relative) {
  std::error_code ec;
  fs::remove_all(local(relative), ec);
}

std::string SyncWorld::readLocal(const std::string& relative) const {
  std::ifstream in(local(relative), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

Tree SyncWorld::localTree(const std::string& folder) const {
  Tree result;
  const fs::path base = local(folder);
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), base).string();
    if (it->is_directory()) {
      result[relative] = TreeItem{true, ""};
    } else {
      result[relative] = TreeItem{false, sha1HexDigest(readLocal(it->path().string()))};
    }
  }
  return result;
}

bool linkSyncFolder(const std::string& webpath, const fs::path& folder, int64_t type,
                    int64_t mountId) {
  fs::create_directories(folder);
  auto store = Syncdb::initpath(SyncManager::getsyncdbpath(mountId));
  if (!store) return false;
  const bool added = store->add_link(LinkFolderNode{webpath, folder.string(), true, type});
  store->close();
  return added;
}

void SyncWorld::linkFolder(const std::string& webpath, const std::string& localFolder,
                           int64_t type, int64_t mountId) {
  ASSERT_EQ(center().GetSyncManager(mountId), nullptr) << "link before the manager starts";
  ASSERT_TRUE(linkSyncFolder(webpath, local(localFolder), type, mountId));
}

MountItem SyncWorld::mountItem(int64_t mountId) {
  return Mountsdb::shareMountsdb().getMountByMountID(mountId);
}

std::shared_ptr<SyncManager> SyncWorld::manager(int64_t mountId) {
  return center().GetSyncManager(mountId);
}

Rows SyncWorld::storeRows(int64_t mountId) {
  Rows rows;
  const auto m = manager(mountId);
  if (!m) return rows;
  // Every row, deletion marks included.
  m->syncdb().inDatabase([&](FMDatabase& db) {
    const auto set = db.executeQuery("select * from SYNC");
    while (set && set->next()) {
      const SyncFileItem row = Syncdb::getSyncFileItemByFMResultSet(*set);
      rows[row.strWebPath] = RowState{row.nStatus, row.bDir, row.bDir ? "" : row.strFileHash};
    }
  });
  return rows;
}

void SyncWorld::runCoordinatorPass() {
  EXPECT_TRUE(center().coordinatorPass());
  waitCompareQueue();
}

void SyncWorld::runCoordinatorPassAfter(std::chrono::seconds by) {
  clock_->advance(by);
  runCoordinatorPass();
}

void SyncWorld::runComparePass(int64_t mountId) {
  const auto m = manager(mountId);
  ASSERT_TRUE(m) << "no manager for library " << mountId;
  if (!m->bInWork.exchange(true)) {
    center().taskqueue().addOperation(std::make_shared<MountCompare>(m, center()));
  }
  waitCompareQueue();
}

bool SyncWorld::eventually(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void SyncWorld::waitCompareQueue() { center().taskqueue().waitUntilAllOperationsAreFinished(); }

}  // namespace nb::test
