// Linking and unlinking folders, the overlap checks on both sides and the
// link summaries, against the fake service.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeAppState.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/Directoryhandler.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class LinkingTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
  }
  void TearDown() override {
    m_.reset();
    SyncWorld::TearDown();
  }

  std::string path(const std::string& relative) const { return local(relative).string(); }

  // The answer check_Link should give for an overlap with `folder` of `kind`.
  static std::string refusal(const std::string& folder, const char* kind) {
    return Util::errorInfoWithCode(
        10011, fillMarks(Util::localizedStringForKey("文件夹 [%@] 已设置了 %@"),
                         {folder, Util::localizedStringForKey(kind)}));
  }
  static std::string ok() { return Util::errorInfoWithCode(0); }

  bool watched(const std::string& folder) {
    const std::string root = lastaddslash(folder);
    for (const auto& handler : center().handlerlist()) {
      if (handler->_srcPath() == root) return true;
    }
    return false;
  }

  std::shared_ptr<SyncManager> m_;
};

TEST_F(LinkingTest, OverlapMatrixOnTheLibrarySide) {
  m_->linkfolder().addNode({"work/docs", path("Docs"), true, LinkType::kSync});
  m_->linkfolder().addNode({"work/keep", path("Keep"), true, LinkType::kBackup});
  m_->cachefolder().addNode({"media/cached", path("content")});

  const struct {
    const char* webpath;
    int64_t type;
    std::string answer;
  } cases[] = {
      // The same folder: equal kinds pass, asking for any link finds the sync link.
      {"work/docs", 2, ok()},
      {"Work/Docs", 1, refusal("work/docs", "同步")},
      {"work/docs", 0, ok()},
      {"work/docs", 3, refusal("work/docs", "同步")},
      {"work/keep", 1, ok()},
      {"work/keep", 0, refusal("work/keep", "备份")},
      {"work/keep", 2, refusal("work/keep", "备份")},
      {"media/cached", 3, ok()},
      {"media/cached", 2, refusal("media/cached", "缓存")},
      {"media/cached", 1, refusal("media/cached", "缓存")},
      // A parent of a link or cache-mode folder.
      {"work", 2, refusal("work/docs", "同步")},
      {"media", 3, refusal("media/cached", "缓存")},
      {"", 3, refusal("work/docs", "同步")},
      // A child.
      {"work/docs/sub", 2, refusal("work/docs", "同步")},
      {"WORK/KEEP/a/b", 1, refusal("work/keep", "备份")},
      {"media/cached/sub", 3, refusal("media/cached", "缓存")},
      // Siblings, also those whose names extend a linked name.
      {"work/docs2", 2, ok()},
      {"work/other", 1, ok()},
      {"media/cachedx", 3, ok()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.webpath) + " type " + std::to_string(c.type));
    EXPECT_EQ(m_->check_Link(c.webpath, c.type), c.answer);
  }
}

TEST_F(LinkingTest, WholeLibraryLinkRefusesEveryPathNamingTheLibrary) {
  m_->linkfolder().addNode({"", path("All"), true, LinkType::kBackup});
  for (const char* webpath : {"", "docs", "a/b/c"}) {
    for (int64_t type : {0, 1, 2, 3}) {
      EXPECT_EQ(m_->check_Link(webpath, type), refusal(m_->_strMountName(), "备份")) << webpath;
    }
  }
  // Another library is not concerned by this one's links.
  test::FakeLibrary other;
  other.mountId = 8;
  other.orgId = 4;
  drive_->addLibrary(other);
  center().setBRegetServer(true);
  runCoordinatorPassAfter(std::chrono::seconds(1));
  ASSERT_TRUE(manager(8));
  EXPECT_EQ(manager(8)->check_Link("docs", 2), ok());
}

TEST_F(LinkingTest, LocalOverlapAcrossLibraries) {
  m_->add_link("docs", path("Docs"), false, LinkType::kSync);
  std::string clash = "untouched";
  const struct {
    std::string folder;
    bool accepted;
  } cases[] = {
      {path("Docs"), false},
      {path("Docs") + "/", false},
      {path("DOCS"), false},  // other letter case: refused all the same
      {path("Docs/sub/deeper"), false},
      {localRoot().string(), false},  // holds the linked folder
      {path("Docs2"), true},
      {path("Other"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    clash = "untouched";
    EXPECT_EQ(m_->check_dir_legecy(c.folder, clash), c.accepted);
    EXPECT_EQ(center().check_dir_legecy(c.folder, clash), c.accepted);
    EXPECT_EQ(clash, c.accepted ? "untouched" : path("Docs"));
  }
  EXPECT_TRUE(m_->check_dir_legecy("", clash));
  EXPECT_EQ(clash, "");
}

TEST_F(LinkingTest, LinkingMakesRowLinkWatchFavouriteAndFreshSync) {
  addServerFolder("work");
  m_->add_link("work/docs", path("Docs") + "/", true, LinkType::kSync);

  const SyncFileItem row = m_->syncdb().get_single_file("work/docs");
  EXPECT_EQ(row.nStatus, SyncStatus::kUploadPending);
  EXPECT_TRUE(row.bDir);
  EXPECT_EQ(row.nUpID, m_->syncdb().getID("work"));
  EXPECT_GT(row.nUpID, 0);
  EXPECT_EQ(row.nLastID, UserData::shareUserData().userID());

  ASSERT_EQ(m_->syncdb().get_links().size(), 1U);
  EXPECT_EQ(m_->syncdb().get_links()[0].strFullPath, path("Docs"));
  EXPECT_EQ(m_->syncdb().get_oldlink("work/docs"), path("Docs"));
  EXPECT_EQ(m_->getnormalpath("work/docs/a.txt"), path("Docs/a.txt"));
  EXPECT_TRUE(m_->overwrite().checkNode("work/docs"));
  EXPECT_TRUE(watched(path("Docs")));
  EXPECT_TRUE(fs::is_symlink(home() / "Favorites/Docs"));

  // Another folder of the same name gets the next free favourite name.
  m_->add_link("other", path("Elsewhere/Docs"), false, LinkType::kBackup);
  EXPECT_EQ(fs::read_symlink(home() / "Favorites/Docs(1)"), local("Elsewhere/Docs"));
  EXPECT_FALSE(m_->overwrite().checkNode("other"));

  // The whole library gets no row of its own.
  m_->remove_link("work/docs");
  m_->remove_link("other");
  m_->add_link("", path("All"), false, LinkType::kSync);
  EXPECT_EQ(m_->syncdb().get_single_file("").nStatus, SyncStatus::kNotFound);
  EXPECT_EQ(m_->getnormalpath("x/y"), path("All/x/y"));
}

TEST_F(LinkingTest, UnlinkingStopsWatchAndUnfinishedTransfersOnly) {
  m_->add_link("docs", path("Docs"), false, LinkType::kSync);
  writeLocal("Docs/a.txt", "alpha");
  TransPortDB& trans = TransPortDB::shareTransPortDB();
  TransportItem unfinished;
  unfinished.nMountid = kMountId;
  unfinished.strWebpath = "docs/a.txt";
  unfinished.strFullpath = path("Docs/a.txt");
  unfinished.nStatus = 2;
  trans.Add_Download(unfinished);
  network().clear();

  m_->remove_link("nothing/here");
  EXPECT_EQ(network().count("ClearTrans"), 0U);
  EXPECT_TRUE(watched(path("Docs")));

  m_->remove_link("DOCS");
  EXPECT_FALSE(m_->linkfolder().haveNode());
  EXPECT_TRUE(m_->syncdb().get_links().empty());
  EXPECT_EQ(m_->syncdb().get_oldlink("docs"), path("Docs"));  // proposed next time
  EXPECT_FALSE(watched(path("Docs")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(home() / "Favorites/Docs")));
  EXPECT_EQ(trans.Get_Download(kMountId, "docs/a.txt").nIndex, 0);
  EXPECT_EQ(network().count("ClearTrans"), 1U);
  // Nothing of the user's is deleted.
  EXPECT_EQ(readLocal("Docs/a.txt"), "alpha");
}

TEST_F(LinkingTest, SummariesOfEveryLibraryInOneList) {
  m_->add_link("docs", path("Docs"), false, LinkType::kSync);
  m_->add_link("keep", path("Keep/"), false, LinkType::kBackup);
  for (const auto& [webpath, status] : std::initializer_list<std::pair<const char*, int64_t>>{
           {"docs/a.txt", SyncStatus::kUploadPending},
           {"docs/b.txt", SyncStatus::kSynced},
           {"docs/c.txt", SyncStatus::kDownloadPending},
           {"docs/d.txt", SyncStatus::kServerOnly}}) {
    SyncFileItem row;
    row.strWebPath = webpath;
    row.nStatus = status;
    row.nUpID = m_->getFileUpID(webpath);
    m_->syncdb().add_new_file(row);
  }
  const auto answer = objectFromJSONString(center().getlinkpathjson());
  ASSERT_TRUE(answer);
  const JsonValue& list = (*answer)["list"];
  ASSERT_EQ(list.size(), 2U);
  EXPECT_EQ(list[0]["mount_id"].toInt64(), kMountId);
  EXPECT_EQ(list[0]["webpath"].asString(), "docs");
  EXPECT_EQ(list[0]["fullpath"].asString(), path("Docs") + "/");
  // The folder row (1), a.txt (1) and c.txt (2) still wait.
  EXPECT_EQ(list[0]["num"].toInt64(), 3);
  EXPECT_EQ(list[0]["type"].toInt64(), 2);
  EXPECT_EQ(list[1]["fullpath"].asString(), path("Keep") + "/");
  EXPECT_EQ(list[1]["type"].toInt64(), 1);

  m_->remove_link("docs");
  m_->remove_link("keep");
  EXPECT_EQ(center().getlinkpathjson(), R"({"list":[]})");
}

TEST_F(LinkingTest, ResetOfEveryLibraryQueuesEachLinkForAFreshSync) {
  m_->add_link("docs", path("Docs"), false, LinkType::kSync);
  m_->add_link("keep", path("Keep"), false, LinkType::kBackup);
  for (const auto& entry : m_->syncdb().get_sync_now()) {
    m_->syncdb().update_sync_nowtype(entry.strWebPath, entry.bDir);
    m_->syncdb().del_sync_now(entry.strWebPath, entry.bDir);
  }
  m_->bScaned = true;
  center().setBCompareNow(false);

  center().resetsync();
  std::vector<std::string> queued;
  for (const auto& entry : m_->syncdb().get_sync_now()) queued.push_back(entry.strWebPath);
  std::sort(queued.begin(), queued.end());
  EXPECT_EQ(queued, (std::vector<std::string>{"docs", "keep"}));
  EXPECT_FALSE(m_->bScaned);
  EXPECT_TRUE(center().bCompareNow());
}

}  // namespace
}  // namespace nb
