// The sync manager calls carried onto the application's task queue.
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/operations/CheckDownloadSyncMode.h"
#include "sync/operations/CompareFileList.h"
#include "sync/operations/PageOpsWorld.h"
#include "sync/operations/ResetSyncFileProperty.h"
#include "sync/operations/SyncAlert.h"

namespace nb::test {
namespace {

class QueuedOperationsTest : public PageOpsWorld {
 protected:
  void SetUp() override {
    PageOpsWorld::SetUp();
    startLinked();
    setSyncAlertPresenter([this](const std::string& message, const std::string& button) {
      std::lock_guard lock(mutex_);
      alerts_.push_back(message + "|" + button);
    });
  }
  void TearDown() override {
    setSyncAlertPresenter({});
    PageOpsWorld::TearDown();
  }
  void run(std::shared_ptr<platform::Operation> operation) {
    app().taskQueue()->addOperation(std::move(operation));
    waitTasks();
  }
  std::vector<std::string> alerts() {
    std::lock_guard lock(mutex_);
    return alerts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> alerts_;
};

TEST_F(QueuedOperationsTest, AFolderWithoutDownloadRightUnlinksTheLinkWithOneAlert) {
  m().nPermissions = Permission::kFileRead | Permission::kFileWrite;
  storeFolderRow("docs/sub", SyncStatus::kSynced);
  storeFolderRow("docs/sub/secret", SyncStatus::kSynced);
  m().syncdb().update_property("docs/sub/secret", R"({"permisson":["file_write"]})");

  run(std::make_shared<CheckDownloadSyncMode>(manager(), "docs"));
  EXPECT_TRUE(m().linkfolder().getLinkNodes().empty());
  ASSERT_EQ(alerts().size(), 1U);
  EXPECT_EQ(alerts()[0],
            "同步目录[docs]下含有无下载权限的文件夹，同步目录自动取消绑定！|我知道了");
}

TEST_F(QueuedOperationsTest, AnAllowedFolderKeepsItsLinkAndRaisesNoAlert) {
  m().nPermissions = Permission::kFileRead | Permission::kFileWrite;
  storeFolderRow("docs/sub", SyncStatus::kSynced);
  run(std::make_shared<CheckDownloadSyncMode>(manager(), "docs"));
  EXPECT_EQ(m().linkfolder().getLinkNodes().size(), 1U);
  EXPECT_TRUE(alerts().empty());
}

// The operation holds its manager: it still runs after the library left
// the centre's registry.
TEST_F(QueuedOperationsTest, AFirstListingRunsOnAManagerThatLeftTheRegistry) {
  putServerFile("docs/listed.txt", "x");
  const std::shared_ptr<SyncManager> held = manager();
  auto operation = std::make_shared<CompareFileList>(held, "docs", false);
  center().RemoveSyncManager(kMountId);
  ASSERT_FALSE(center().GetSyncManager(kMountId));
  run(operation);
  EXPECT_NE(held->syncdb().get_single_file("docs/listed.txt").nStatus, SyncStatus::kNotFound);
}

TEST_F(QueuedOperationsTest, AReadOnlyResetMakesTheLocalCopiesReadOnly) {
  syncedFile("docs/a.txt", "alpha");
  run(std::make_shared<ResetSyncFileProperty>(manager(), "docs", false));
  EXPECT_EQ(std::filesystem::status(local("Docs/a.txt")).permissions() &
                std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
}

}  // namespace
}  // namespace nb::test
