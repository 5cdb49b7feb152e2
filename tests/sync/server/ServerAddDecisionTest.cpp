#include <filesystem>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "stores/syncdb/CacheFolderItem.h"
#include "sync/server/CacheFetchLimit.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

enum class Local { Missing, Unchanged, Edited };
enum class Server { Same, New };
enum class Transfer { None, Down, Up, Both };

class ServerAddDecisionTest : public test::ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    linkFolder("back", "Back", 1);
    startLinked();
  }

  Transfer queued(const std::string& path) {
    const bool down = download(path).nIndex != 0;
    const bool up = upload(path).nIndex != 0;
    if (down && up) return Transfer::Both;
    return down ? Transfer::Down : up ? Transfer::Up : Transfer::None;
  }
};

TEST_F(ServerAddDecisionTest, DecisionTable) {
  struct Case {
    const char* name;
    const char* root;  // "docs" two-way, "back" backup
    int64_t rowStatus;  // -1: no row yet
    Local local;
    Server server;
    bool overwrite;
    int64_t status;
    Transfer transfer;
    bool skipped = false;
    bool uploadWaiting = false;  // the row's upload queued before the entry
  };
  const Case cases[] = {
      {"new, nothing local", "docs", -1, Local::Missing, Server::New, false, 2, Transfer::Down},
      {"new, same copy local", "docs", -1, Local::Unchanged, Server::Same, false, 3, Transfer::None},
      {"new, other copy local wins", "docs", -1, Local::Edited, Server::New, false, 1, Transfer::Up},
      {"new, other copy, overwrite", "docs", -1, Local::Edited, Server::New, true, 2, Transfer::Down},
      {"new in backup", "back", -1, Local::Missing, Server::New, false, 4, Transfer::None},
      {"synced, server edit", "docs", 3, Local::Unchanged, Server::New, false, 2, Transfer::Down},
      {"synced, unchanged", "docs", 3, Local::Unchanged, Server::Same, false, 3, Transfer::None},
      {"synced, both edited", "docs", 3, Local::Edited, Server::New, false, 1, Transfer::Up},
      {"both edited, overwrite", "docs", 3, Local::Edited, Server::New, true, 2, Transfer::Down},
      {"upload pending, server edit", "docs", 1, Local::Unchanged, Server::New, false, 1,
       Transfer::Up, false, true},
      {"upload pending, overwrite", "docs", 1, Local::Unchanged, Server::New, true, 2,
       Transfer::Down, false, true},
      {"re-upload, both edited", "docs", 8, Local::Edited, Server::New, false, 8, Transfer::None},
      {"gone here, server edit", "docs", 3, Local::Missing, Server::New, false, 2, Transfer::Down},
      {"gone here, server same", "docs", 3, Local::Missing, Server::Same, false, 3, Transfer::None},
      {"reset mark, gone here", "docs", 9, Local::Missing, Server::Same, false, 2, Transfer::Down},
      {"backup, both edited", "back", 3, Local::Edited, Server::New, false, 4, Transfer::None},
      {"backup, gone here", "back", 3, Local::Missing, Server::New, false, 4, Transfer::None},
      {"deleted here, same content", "docs", 7, Local::Missing, Server::Same, false, 7,
       Transfer::None, true},
      {"deleted here, new content", "docs", 7, Local::Missing, Server::New, false, 2,
       Transfer::Down},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "case" + std::to_string(n++) + ".txt";
    const std::string path = std::string(c.root) + "/" + name;
    const std::string relative = (std::string(c.root) == "docs" ? "Docs/" : "Back/") + name;
    if (c.rowStatus != -1) storeRow(path, "old", c.rowStatus);
    if (c.local == Local::Unchanged) writeLocalAt(relative, "old", kLocalTime);
    if (c.local == Local::Edited) writeLocalAt(relative, "edited!", kLocalTime + 50);
    if (c.overwrite) m().overwrite().addNode(path);
    if (c.uploadWaiting) {
      ASSERT_TRUE(m().Add_Upload(rowOf(path), local(relative).string(), true, path));
    }
    // A server entry that did not change keeps the time the row recorded.
    const bool unchanged = c.server == Server::Same && c.rowStatus != -1;
    const CompareItem item = entry(path, c.server == Server::Same ? "old" : "new content",
                                   unchanged ? kLocalTime : kServerTime);

    const auto answer = m().receive_add(item, nullptr, true, false);

    EXPECT_EQ(answer.has_value(), !c.skipped);
    EXPECT_EQ(rowOf(path).nStatus, c.status);
    EXPECT_EQ(queued(path), c.transfer);
    if (c.transfer == Transfer::Down) {
      EXPECT_EQ(download(path).strFullpath, local(relative).string());
    }
    // Nothing the user wrote is touched by the decision itself.
    if (c.local == Local::Edited) {
      EXPECT_EQ(readLocal(relative), "edited!");
    }
  }
}

TEST_F(ServerAddDecisionTest, CacheModeFetchesOnlyUpToTheLimit) {
  const fs::path content = home() / "content";
  m().cachefolder().addNode(CacheFolderItem{"cached", content.string()});
  CompareItem small = entry("cached/small.bin", "small");
  CompareItem big = entry("cached/big.bin", "big");
  big.ullFileSize = kCacheFetchLimit + 1;
  CompareItem edge = entry("cached/edge.bin", "edge");
  edge.ullFileSize = kCacheFetchLimit;

  for (const auto* item : {&small, &big, &edge}) m().receive_add(*item, nullptr, true, false);

  EXPECT_EQ(rowOf("cached/small.bin").nStatus, SyncStatus::kDownloadPending);
  EXPECT_EQ(download("cached/small.bin").strFullpath,
            (content / small.strFileHash.substr(0, 2) / small.strFileHash).string());
  EXPECT_EQ(rowOf("cached/edge.bin").nStatus, SyncStatus::kDownloadPending);
  EXPECT_EQ(rowOf("cached/big.bin").nStatus, SyncStatus::kSynced);
  EXPECT_EQ(download("cached/big.bin").nIndex, 0);
}

TEST_F(ServerAddDecisionTest, RenameEchoIsSkippedOnlyWhileFresh) {
  m().lastRename().addNode("docs/renamed.txt");
  EXPECT_FALSE(m().receive_add(entry("docs/renamed.txt", "x"), nullptr, true, false));
  EXPECT_EQ(rowOf("docs/renamed.txt").nStatus, SyncStatus::kNotFound);

  clock().advance(std::chrono::seconds(61));
  EXPECT_TRUE(m().receive_add(entry("docs/renamed.txt", "x"), nullptr, true, false));
  EXPECT_EQ(rowOf("docs/renamed.txt").nStatus, SyncStatus::kDownloadPending);
  bool timeout = false;
  EXPECT_FALSE(m().lastRename().checkNode("docs/renamed.txt", timeout));
}

// Found by the random runs: the old name of a fresh local rename was a
// filter for everything, so another member's new item there never got a
// row nor a download. Only the renamed item itself is its echo.
TEST_F(ServerAddDecisionTest, OnlyTheRenamedItemIsTakenForTheRenameEcho) {
  struct Case {
    const char* name;
    const char* renamedFrom;  // the rename this client made
    const char* renamedTo;
    const char* entryPath;    // the server entry that arrives
    const char* bytes;
    bool sameItem;            // the entry has the identity of the renamed item
    bool rowIdentity;         // the renamed item's row knows its identity
    bool skipped;
  };
  const Case cases[] = {
      {"echo of a file rename", "docs/a.txt", "docs/b.txt", "docs/a.txt", "moved", true, true, true},
      {"new file at the old name", "docs/c.txt", "docs/d.txt", "docs/c.txt", "new", false, true,
       false},
      {"same content, another item", "docs/e.txt", "docs/f.txt", "docs/e.txt", "moved", false,
       true, false},
      {"echo inside a renamed folder", "docs/f1", "docs/f2", "docs/f1/x.txt", "moved", true, true,
       true},
      {"new file in the old folder", "docs/f3", "docs/f4", "docs/f3/y.txt", "new", false, true,
       false},
      {"no identity, same content", "docs/g.txt", "docs/h.txt", "docs/g.txt", "moved", true,
       false, true},
      {"no identity, other content", "docs/i.txt", "docs/j.txt", "docs/i.txt", "new", false,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string from = c.renamedFrom;
    const std::string to = c.renamedTo;
    const std::string entryPath = c.entryPath;
    const std::string movedPath = to + entryPath.substr(from.size());
    if (movedPath != to) storeFolderRow(to, SyncStatus::kSynced);
    SyncFileItem moved = storeRow(movedPath, "moved", SyncStatus::kSynced);
    if (!c.rowIdentity) {
      moved.strUuidHash.clear();
      m().syncdb().update_file(moved);
    }
    m().lastRename().addNode(from, to);
    CompareItem item = entry(entryPath, c.bytes);
    item.strHash = c.sameItem ? "id-" + movedPath : "id-other-" + entryPath;
    if (!c.rowIdentity && !c.sameItem) item.strHash.clear();

    const bool applied = m().receive_add(item, nullptr, true, false).has_value();
    EXPECT_EQ(applied, !c.skipped);
    EXPECT_EQ(rowOf(entryPath).nStatus,
              c.skipped ? SyncStatus::kNotFound : SyncStatus::kDownloadPending);
    EXPECT_EQ(download(entryPath).nIndex != 0, !c.skipped);
    // The rename's own row is left as it was.
    EXPECT_EQ(rowOf(movedPath).nStatus, SyncStatus::kSynced);
  }
}

TEST_F(ServerAddDecisionTest, ServerLockDecidesWhetherTheLocalFileIsWritable) {
  const int64_t me = UserData::shareUserData().userID();
  struct Case {
    const char* name;
    int64_t lock;
    int64_t holder;
    bool readOnly;
  };
  const Case cases[] = {{"locked by another", 1, me + 1, true},
                        {"locked by me", 1, me, false},
                        {"unlocked", 0, 0, false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "locked" + std::to_string(n++) + ".txt";
    storeRow("docs/" + name, "old", SyncStatus::kSynced);
    m().syncdb().update_lock("docs/" + name, c.lock == 0 ? 1 : 0, 0);
    writeLocalAt("Docs/" + name, "old", kLocalTime);
    CompareItem item = entry("docs/" + name, "old", kLocalTime);
    item.nLock = c.lock;
    item.nLockMemberID = c.holder;
    m().receive_add(item, nullptr, true, false);
    const auto perms = fs::status(local("Docs/" + name)).permissions();
    EXPECT_EQ((perms & fs::perms::owner_write) == fs::perms::none, c.readOnly);
  }
  // Folders are never made read-only.
  storeFolderRow("docs/sub", SyncStatus::kSynced);
  makeLocalFolder("Docs/sub");
  CompareItem folder = folderEntry("docs/sub");
  folder.nLock = 1;
  folder.nLockMemberID = me + 1;
  m().receive_add(folder, nullptr, true, false);
  EXPECT_NE(fs::status(local("Docs/sub")).permissions() & fs::perms::owner_write,
            fs::perms::none);
}

TEST_F(ServerAddDecisionTest, FolderTakesTheLocalFolderAndMismatchedKindsAreSkipped) {
  makeLocalFolder("Docs/new");
  EXPECT_TRUE(m().receive_add(folderEntry("docs/new"), nullptr, true, false));
  EXPECT_EQ(rowOf("docs/new").nStatus, SyncStatus::kSynced);

  storeRow("docs/kind", "old", SyncStatus::kSynced);
  EXPECT_FALSE(m().receive_add(folderEntry("docs/kind"), nullptr, true, false));
  EXPECT_FALSE(rowOf("docs/kind").bDir);
  EXPECT_EQ(rowOf("docs/kind").nStatus, SyncStatus::kSynced);
}

TEST_F(ServerAddDecisionTest, ViewsOfTheParentFolderAreCollectedOnce) {
  const auto window = app().addWindow(kMountId, "docs");
  SyncManager::ViewList views;
  m().receive_add(entry("docs/a.txt", "a"), &views, true, false);
  m().receive_add(entry("docs/b.txt", "b"), &views, true, false);
  ASSERT_EQ(views.size(), 1U);
  EXPECT_EQ(views.front(), window);
}

}  // namespace
}  // namespace nb
