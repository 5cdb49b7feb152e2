// Local changes through the real folder watcher and the real engine to the
// fake service: what the local side does on its own (rows, server renames
// and moves, queued uploads, deferred retries).
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/FakeFault.h"
#include "sync/local/Directoryhandler.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::FakeFault;
using test::LocalWorld;

class LocalEndToEndTest : public LocalWorld {
 protected:
  void SetUp() override {
    LocalWorld::SetUp();
    ASSERT_EQ(center().handlerlist().size(), 1U);
    ASSERT_TRUE(center().handlerlist()[0]->waitUntilWatching());
  }
  bool watching() const override { return true; }
  void settle() { center().handlerlist()[0]->waitUntilIdle(); }
};

TEST_F(LocalEndToEndTest, AddEditRenameMoveDeleteOfAFile) {
  writeLocal("Docs/a.txt", "alpha");
  ASSERT_TRUE(eventually([&] { return status("docs/a.txt") == SyncStatus::kUploadPending; }));
  EXPECT_TRUE(uploadQueued("docs/a.txt"));

  // As the finished upload leaves it.
  putServerFile("docs/a.txt", "alpha");
  held([&](SyncManager& m) {
    return m.syncdb().update_finish("docs/a.txt", Util::filemodifytime(path("Docs/a.txt")));
  });
  fs::rename(local("Docs/a.txt"), local("Docs/b.txt"));
  ASSERT_TRUE(eventually([&] { return status("docs/b.txt") == SyncStatus::kSynced; }));
  EXPECT_EQ(serverTree("docs").count("b.txt"), 1U);
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kNotFound);

  makeLocalFolder("Docs/sub");
  ASSERT_TRUE(eventually([&] { return status("docs/sub") == SyncStatus::kUploadPending; }));
  addServerFolder("docs/sub");
  held([](SyncManager& m) { return m.syncdb().update_status("docs/sub", SyncStatus::kSynced), 0; });
  fs::rename(local("Docs/b.txt"), local("Docs/sub/b.txt"));
  ASSERT_TRUE(eventually([&] { return status("docs/sub/b.txt") == SyncStatus::kSynced; }));
  EXPECT_EQ(serverTree("docs").count("sub/b.txt"), 1U);

  removeLocal("Docs/sub/b.txt");
  ASSERT_TRUE(eventually([&] { return status("docs/sub/b.txt") == SyncStatus::kDeletedLocally; }));
}

TEST_F(LocalEndToEndTest, LinkToAFileGetsNoRow) {
  writeLocal("outside/target.txt", "t");
  Util::createlink(path("Docs/link.txt"), path("outside/target.txt"));
  writeLocal("Docs/after.txt", "a");
  ASSERT_TRUE(eventually([&] { return status("docs/after.txt") == SyncStatus::kUploadPending; }));
  settle();
  EXPECT_EQ(status("docs/link.txt"), SyncStatus::kNotFound);
  EXPECT_FALSE(uploadQueued("docs/link.txt"));
}

TEST_F(LocalEndToEndTest, DeferredRenameWhoseNewPathIsGoneLeavesAfterOneRetry) {
  synced("docs/a.txt", "Docs/a.txt", "alpha");
  api_.fail("/1/file/rename", FakeFault::errorCode(50000, 500));
  fs::rename(local("Docs/a.txt"), local("Docs/b.txt"));
  ASSERT_TRUE(eventually([&] { return m_->check_movelist(path("Docs/a.txt")); }));
  removeLocal("Docs/b.txt");
  settle();
  runCoordinatorPassAfter(std::chrono::seconds(3));
  EXPECT_FALSE(m_->check_movelist(path("Docs/a.txt")));
  EXPECT_EQ(status("docs/a.txt"), SyncStatus::kDeletedLocally);
  EXPECT_EQ(serverTree("docs").count("a.txt"), 1U);
}

}  // namespace
}  // namespace nb
