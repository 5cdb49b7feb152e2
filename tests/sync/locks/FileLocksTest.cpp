// Server locks of files and folders, and the permission walks, against the
// fake service in the sync test world.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "stores/syncdb/SyncStatus.h"
#include "support/ErrorAnswer.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & 0777;
}

using test::errorOf;

class FileLocksTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    putServerFile("docs/a.txt", "alpha");
    putServerFile("docs/sub/b.txt", "beta");
    linkFolder("docs", "Docs");
    writeLocal("Docs/a.txt", "alpha");
    writeLocal("Docs/sub/b.txt", "beta");
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
    for (const char* path : {"docs", "docs/sub"}) addRow(path, true);
    for (const char* path : {"docs/a.txt", "docs/sub/b.txt"}) addRow(path, false);
  }

  void addRow(const std::string& webpath, bool dir) {
    SyncFileItem row;
    row.strWebPath = webpath;
    row.bDir = dir;
    row.nUpID = m_->getFileUpID(webpath);
    row.nStatus = SyncStatus::kSynced;
    m_->syncdb().add_new_file(row);
  }

  SyncFileItem row(const std::string& webpath) { return m_->syncdb().get_single_file(webpath); }

  std::shared_ptr<SyncManager> m_;
};

TEST_F(FileLocksTest, LockAndUnlockReachServerAndRowAndLeaveTheCopyWritable) {
  fs::permissions(local("Docs/a.txt"), fs::perms(0444));

  EXPECT_EQ(errorOf(m_->setfilestatus("docs/a.txt", 0, 1)), 0);
  EXPECT_EQ(tree().find("docs/a.txt")->lock, 1);
  EXPECT_EQ(row("docs/a.txt").nLock, 2);
  EXPECT_EQ(row("docs/a.txt").nLockID, user_.memberId);
  EXPECT_EQ(modeOf(local("Docs/a.txt")), 0644U);

  fs::permissions(local("Docs/a.txt"), fs::perms(0444));
  EXPECT_EQ(errorOf(m_->setfilestatus("docs/a.txt", 0, 0)), 0);
  EXPECT_EQ(tree().find("docs/a.txt")->lock, 0);
  EXPECT_EQ(row("docs/a.txt").nLock, 0);
  EXPECT_EQ(row("docs/a.txt").nLockID, 0);
  EXPECT_EQ(modeOf(local("Docs/a.txt")), 0644U);
}

TEST_F(FileLocksTest, StatusOtherThanOneIsStoredAsGivenWithoutMember) {
  EXPECT_EQ(errorOf(m_->setfilestatus("docs/a.txt", 0, 2)), 0);
  EXPECT_EQ(row("docs/a.txt").nLock, 2);
  EXPECT_EQ(row("docs/a.txt").nLockID, 0);
}

TEST_F(FileLocksTest, FolderLockMarksItsRowsAndMakesItsFilesWritable) {
  fs::permissions(local("Docs/sub/b.txt"), fs::perms(0444));
  EXPECT_EQ(errorOf(m_->setfilestatus("docs/sub", 1, 1)), 0);
  EXPECT_EQ(row("docs/sub").nLock, 2);
  EXPECT_EQ(row("docs/sub/b.txt").nLock, 2);
  EXPECT_EQ(row("docs/a.txt").nLock, 0);
  EXPECT_EQ(modeOf(local("Docs/sub/b.txt")), 0644U);
}

TEST_F(FileLocksTest, OfflineAnswers10001AndSendsNothing) {
  app_->setLinkNetwork(false);
  const std::size_t before = callCount("/1/file/lock");
  EXPECT_EQ(errorOf(m_->setfilestatus("docs/a.txt", 0, 1)), 10001);
  EXPECT_EQ(callCount("/1/file/lock"), before);
  EXPECT_EQ(row("docs/a.txt").nLock, 0);
}

TEST_F(FileLocksTest, RefusalAnswersTheServersErrorAndChangesNothing) {
  ASSERT_EQ(tree().lock("docs/a.txt", true, test::FakeMember{99, "other"}),
            test::FakeTreeError::None);
  const std::string answer = m_->setfilestatus("docs/a.txt", 0, 0);
  const auto json = objectFromJSONString(answer);
  ASSERT_TRUE(json);
  EXPECT_NE((*json)["error"].toInt64(), 0);
  EXPECT_TRUE((*json)["message"].isString());
  EXPECT_EQ(tree().find("docs/a.txt")->lock, 1);
  EXPECT_EQ(row("docs/a.txt").nLock, 0);
}

// The walks change regular files only: a link inside the folder is neither
// followed (its target lies outside) nor changed, and folders keep theirs.
TEST_F(FileLocksTest, PermissionWalksLeaveLinksAndTheirTargetsAlone) {
  writeLocal("Outside/target.txt", "outside");
  fs::create_directory_symlink(local("Outside"), local("Docs/outside-dir"));
  fs::create_symlink(local("Outside/target.txt"), local("Docs/outside-file"));
  fs::create_directory_symlink(local("Docs"), local("Docs/sub/loop"));
  fs::permissions(local("Outside/target.txt"), fs::perms(0644));

  m_->setallfileread(local("Docs").string());
  EXPECT_EQ(modeOf(local("Docs/a.txt")), 0444U);
  EXPECT_EQ(modeOf(local("Docs/sub/b.txt")), 0444U);
  EXPECT_EQ(modeOf(local("Outside/target.txt")), 0644U);
  EXPECT_EQ(modeOf(local("Docs/sub")) & 0200, 0200U);

  fs::permissions(local("Outside/target.txt"), fs::perms(0444));
  m_->setallfilewrite(local("Docs").string() + "/");
  EXPECT_EQ(modeOf(local("Docs/a.txt")), 0644U);
  EXPECT_EQ(modeOf(local("Docs/sub/b.txt")), 0644U);
  EXPECT_EQ(modeOf(local("Outside/target.txt")), 0444U);
}

TEST_F(FileLocksTest, VisitClearsTheUnseenCount) {
  m_->nUpdateNum = 12;
  m_->setvisitupdatedateline(1'700'000'000);
  EXPECT_EQ(m_->nUpdateNum.load(), 0);
}

}  // namespace
}  // namespace nb
