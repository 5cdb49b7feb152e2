#include <filesystem>

#include <gtest/gtest.h>

#include "api/models/TransTaskItem.h"
#include "api/session/UserData.h"
#include "sync/server/ServerDecisionWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class DownloadPlacementTest : public test::ServerDecisionWorld {
 protected:
  void SetUp() override {
    ServerDecisionWorld::SetUp();
    startLinked();
  }

  // The transfer engine's finished temporary file for the row's content.
  std::string finished(const std::string& name, const std::string& bytes) {
    const fs::path temp = home() / "transfer" / name;
    fs::create_directories(temp.parent_path());
    writeLocal(temp.string(), bytes);
    return temp.string();
  }
  static TransTaskItem record(const std::string& path, const std::string& bytes) {
    TransTaskItem task;
    task.nMountid = kMountId;
    task.strWebpath = path;
    task.strFilehash = sha1HexDigest(bytes);
    return task;
  }
  // A row waiting for `server` content, recorded over a local copy at kLocalTime.
  SyncFileItem waitingRow(const std::string& path, const std::string& server, int64_t status) {
    SyncFileItem row = storeRow(path, server, status);
    m().syncdb().update_weblasttime(path, kServerTime);
    return rowOf(path);
  }
};

TEST_F(DownloadPlacementTest, PlacesOnlyOverWhatTheRowRecorded) {
  enum class Local { None, AsRecorded, OlderEdit, NewerEdit };
  struct Case {
    const char* name;
    int64_t rowStatus;
    Local local;
    int64_t parentStatus;  // 0: no parent row
    bool answer;
    bool placed;
    int64_t statusAfter;
  };
  const Case cases[] = {
      {"nothing local", 2, Local::None, 0, true, true, 3},
      {"old copy replaced by a larger version", 2, Local::AsRecorded, 0, true, true, 3},
      {"edit recorded meanwhile", 1, Local::NewerEdit, 0, false, false, 1},
      {"edit with an older time", 2, Local::OlderEdit, 0, false, false, 1},
      {"newer edit not yet recorded", 2, Local::NewerEdit, 0, false, false, 1},
      {"removed on the server meanwhile", 6, Local::None, 0, true, false, 6},
      {"deleted here meanwhile", 7, Local::None, 0, true, false, 7},
      {"parent deleted here", 2, Local::None, 7, true, false, 2},
      {"parent removed on the server", 2, Local::None, 6, true, false, 2},
  };
  const std::string server = "the server's much larger content";
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = "d" + std::to_string(n++);
    const std::string path = "docs/" + dir + "/a.txt";
    const std::string relative = "Docs/" + dir + "/a.txt";
    if (c.parentStatus != 0) storeFolderRow("docs/" + dir, c.parentStatus);
    waitingRow(path, server, c.rowStatus);
    if (c.local == Local::AsRecorded) writeLocalAt(relative, "old", kLocalTime);
    if (c.local == Local::OlderEdit) writeLocalAt(relative, "mine", kLocalTime - 1000);
    if (c.local == Local::NewerEdit) writeLocalAt(relative, "mine", kLocalTime + 1000);

    EXPECT_EQ(m().finishdownload(record(path, server), finished(dir, server)), c.answer);

    EXPECT_EQ(rowOf(path).nStatus, c.statusAfter);
    if (c.placed) {
      EXPECT_EQ(readLocal(relative), server);
      EXPECT_EQ(localTime(relative), kServerTime);
      EXPECT_EQ(rowOf(path).ullLastTime, kServerTime);
      EXPECT_FALSE(fs::exists(local(relative + ".nbcopy")));
    } else if (c.local == Local::None) {
      EXPECT_FALSE(localExists(relative));
    } else {
      EXPECT_EQ(readLocal(relative), "mine");
    }
  }
}

TEST_F(DownloadPlacementTest, ContentThatIsNotTheRowsIsNeverPlaced) {
  waitingRow("docs/a.txt", "expected", SyncStatus::kDownloadPending);
  writeLocalAt("Docs/a.txt", "old", kLocalTime);
  EXPECT_FALSE(m().finishdownload(record("docs/a.txt", "expected"), finished("a", "truncat")));
  EXPECT_EQ(readLocal("Docs/a.txt"), "old");
  // A newer server version took the row meanwhile: the stale one is dropped.
  EXPECT_TRUE(m().finishdownload(record("docs/a.txt", "stale"), finished("b", "stale")));
  EXPECT_EQ(readLocal("Docs/a.txt"), "old");
  EXPECT_EQ(rowOf("docs/a.txt").nStatus, SyncStatus::kDownloadPending);
}

TEST_F(DownloadPlacementTest, LockHolderDecidesReadOnly) {
  const int64_t me = UserData::shareUserData().userID();
  for (const auto& [name, holder, readOnly] :
       {std::tuple{"other.txt", me + 1, true}, std::tuple{"mine.txt", me, false}}) {
    const std::string path = std::string("docs/") + name;
    waitingRow(path, "x", SyncStatus::kDownloadPending);
    m().syncdb().update_lock(path, 1, holder);
    ASSERT_TRUE(m().finishdownload(record(path, "x"), finished(name, "x")));
    const auto perms = fs::status(local(std::string("Docs/") + name)).permissions();
    EXPECT_EQ((perms & fs::perms::owner_write) == fs::perms::none, readOnly) << name;
  }
}

TEST_F(DownloadPlacementTest, PlacementRefreshesTheParentFolderTime) {
  storeFolderRow("docs/sub", SyncStatus::kSynced);
  waitingRow("docs/sub/a.txt", "x", SyncStatus::kDownloadPending);
  ASSERT_TRUE(m().finishdownload(record("docs/sub/a.txt", "x"), finished("a", "x")));
  EXPECT_EQ(rowOf("docs/sub").ullLastTime, localTime("Docs/sub"));
  EXPECT_NE(rowOf("docs/sub").ullLastTime, 0U);
  // The engine's own write is known, so its file event is not an edit.
  EXPECT_TRUE(m().isOwnWrite("docs/sub/a.txt", 1, kServerTime));
  EXPECT_TRUE(m().try_lock());
  m().unlock();
}

TEST_F(DownloadPlacementTest, NoRowMeansNothingMoreToDo) {
  EXPECT_TRUE(m().finishdownload(record("docs/none.txt", "x"), finished("n", "x")));
  EXPECT_FALSE(localExists("Docs/none.txt"));
}

}  // namespace
}  // namespace nb
