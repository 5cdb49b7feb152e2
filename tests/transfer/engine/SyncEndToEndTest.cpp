// The sync engine and the real transfer engine together against the fake
// service: server changes become files on disk, local files reach the server.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "api/session/UserData.h"
#include "stores/syncdb/SyncStatus.h"
#include "support/RealTransferEngine.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {
namespace {

class SyncEndToEndTest : public SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    app().setLoginFinish(true);
    UserData::shareUserData().setBTransStart(true);
  }
  void TearDown() override {
    engine_.reset();
    SyncWorld::TearDown();
  }
  void startEngine() { engine_ = std::make_unique<RealTransferEngine>(Network::shareNetwork()); }
  // One compare pass, then every transfer it queued run to its end.
  void syncOnce() {
    runComparePass();
    ASSERT_TRUE(engine_->drain(clock())) << "transfers did not end";
  }
  static std::string contentOf(int i) {
    return "file " + std::to_string(i) + " " + std::string(static_cast<size_t>(i * 37 % 5000), 'x');
  }

  std::unique_ptr<RealTransferEngine> engine_;
};

TEST_F(SyncEndToEndTest, ALibraryOfNestedFilesComesDownByteExact) {
  for (int i = 0; i < 200; ++i) {
    putServerFile("docs/d" + std::to_string(i % 7) + "/s" + std::to_string(i % 3) + "/f" +
                      std::to_string(i) + ".txt",
                  contentOf(i));
  }
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  startEngine();
  syncOnce();

  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
  EXPECT_EQ(readLocal("Docs/d3/s1/f10.txt"), contentOf(10));
  size_t files = 0;
  for (const auto& [path, row] : storeRows()) {
    if (path.rfind("docs/", 0) != 0) continue;
    EXPECT_EQ(row.status, SyncStatus::kSynced) << path;
    if (!row.dir) ++files;
  }
  EXPECT_EQ(files, 200u);
}

TEST_F(SyncEndToEndTest, AServerEditComesDownAndAServerDeletionRemovesTheFile) {
  putServerFile("docs/a.txt", "first");
  putServerFile("docs/b.txt", "keep me?");
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  startEngine();
  syncOnce();
  ASSERT_EQ(readLocal("Docs/a.txt"), "first");

  putServerFile("docs/a.txt", "second version");
  removeServer("docs/b.txt");
  manager()->startCanCompare();
  syncOnce();
  manager()->commit();

  EXPECT_EQ(readLocal("Docs/a.txt"), "second version");
  EXPECT_FALSE(std::filesystem::exists(local("Docs/b.txt")));
  EXPECT_EQ(localTree("Docs"), serverTree("docs"));
}

TEST_F(SyncEndToEndTest, ALocalFileReachesTheServer) {
  addServerFolder("docs");
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  startEngine();
  syncOnce();
  writeLocal("Docs/new.txt", "made here");
  manager()->scandir(local("Docs").string());
  ASSERT_TRUE(engine_->drain(clock()));
  EXPECT_EQ(serverTree("docs"), localTree("Docs"));
  EXPECT_EQ(storeRows()["docs/new.txt"].status, SyncStatus::kSynced);
}

}  // namespace
}  // namespace nb::test
