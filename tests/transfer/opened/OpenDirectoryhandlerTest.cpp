// Saves of opened files going back to their library: hand-made batches,
// then real inotify events in the temporary HOME.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "api/models/OpenTransportItem.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilFiles.h"
#include "stores/syncdb/SyncFileItem.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeDrive.h"
#include "support/RealTransferEngine.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"
#include "transfer/opened/OpenDirectoryhandler.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using platform::HandlerItem;
using transfer::OpenDirectoryhandler;

constexpr uint64_t kOpenedAt = 1'600'000'000;

class OpenDirectoryhandlerTest : public SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    putServerFile("docs/a.txt", "first a");
    putServerFile("docs/b.txt", "first b");
    putServerFile("docs/u.txt", "first u");
    runCoordinatorPass();  // the library's manager
    ASSERT_NE(manager(), nullptr);
    // a.txt is a row of the library's store; b.txt is not.
    manager()->syncdb().del_dir("docs/b.txt");
    SyncFileItem row;
    row.strWebPath = "docs/a.txt";
    row.ullFileSize = 7;
    row.nStatus = SyncStatus::kSynced;
    ASSERT_GT(manager()->syncdb().add_new_file(row), 0);
    for (const char* name : {"a", "b", "u"}) open(name, kMountId);
  }
  void TearDown() override {
    handler_.reset();
    engine_.reset();
    SyncWorld::TearDown();
  }

  fs::path folder() const { return home() / "opened"; }
  std::string path(const std::string& name) const { return (folder() / (name + ".txt")).string(); }
  static TransPortDB& store() { return TransPortDB::shareTransPortDB(); }

  // The file as a download for editing leaves it: its content and history.
  void open(const std::string& name, int64_t mountId) {
    fs::create_directories(folder());
    std::ofstream(path(name)) << "first " << name;
    Util::setfilemodifytime(path(name), kOpenedAt);
    store().AddOpenHistory(OpenTransportItem{mountId, "docs/" + name + ".txt", path(name),
                                             Util::filesize(path(name)), kOpenedAt, kOpenedAt});
  }
  void save(const std::string& name, const std::string& bytes) {
    std::ofstream(path(name), std::ios::trunc) << bytes;
  }
  // Written again exactly as it was: same bytes, same time.
  void saveUnchanged(const std::string& name) {
    save(name, "first " + name);
    Util::setfilemodifytime(path(name), kOpenedAt);
  }
  HandlerItem event(const std::string& name) const {
    HandlerItem item;
    item.path = path(name);
    item.bModify = true;
    return item;
  }
  static bool queued(const std::string& name) {
    return store().Get_Upload(kMountId, "docs/" + name + ".txt").nIndex != 0;
  }

  std::unique_ptr<OpenDirectoryhandler> handler_;
  std::unique_ptr<RealTransferEngine> engine_;
};

TEST_F(OpenDirectoryhandlerTest, EverySavedFileOfABatchIsQueuedOnceAndUnchangedOnesAreNot) {
  open("gone", 99);  // a library without a sync manager
  save("a", "second a, longer");
  save("b", "second b, longer too");
  save("gone", "edited");
  saveUnchanged("u");
  OpenDirectoryhandler handler(folder().string());

  handler.handleBatch({event("u"), event("a"), event("b"), event("a"), event("gone")});

  EXPECT_FALSE(queued("u"));
  EXPECT_EQ(store().Get_Upload(99, "docs/gone.txt").nIndex, 0);
  const TransportItem a = store().Get_Upload(kMountId, "docs/a.txt");
  ASSERT_NE(a.nIndex, 0);
  EXPECT_EQ(a.nExpand, 1);  // through the manager, as an edit of an opened file
  EXPECT_EQ(a.strFullpath, path("a"));
  const TransportItem b = store().Get_Upload(kMountId, "docs/b.txt");
  ASSERT_NE(b.nIndex, 0);
  EXPECT_EQ(b.nExpand, 0);  // a plain record
  EXPECT_EQ(b.ullFilesize, Util::filesize(path("b")));
  EXPECT_EQ(b.nStatus, kTransWaiting);
  EXPECT_FALSE(b.bSync);
  // The history follows, so the repeated event for a.txt queued nothing.
  EXPECT_EQ(store().CheckOpenHistory(path("a")).ullFilesize, Util::filesize(path("a")));
  EXPECT_EQ(store().CheckOpenHistory(path("b")).ullLast, Util::filemodifytime(path("b")));
  EXPECT_EQ(network().count("ClearTrans"), 2u);
  EXPECT_EQ(network().calls().back(), (FakeNetwork::Call{"SendCallbackAction", "upload|reget"}));
  EXPECT_EQ(manager()->syncdb().get_single_file("docs/a.txt").ullFileSize,
            Util::filesize(path("a")));
}

TEST_F(OpenDirectoryhandlerTest, LostEventsMakeEveryOpenedFileBeLookedAt) {
  save("b", "saved while no event could be read");
  handler_ = std::make_unique<OpenDirectoryhandler>(folder().string());
  handler_->startMonitoring();
  ASSERT_TRUE(handler_->waitUntilWatching());
  EXPECT_FALSE(queued("b"));

  handler_->simulateOverflow();

  ASSERT_TRUE(eventually([] { return queued("b"); }));
  EXPECT_FALSE(queued("a"));
  EXPECT_FALSE(queued("u"));
}

TEST_F(OpenDirectoryhandlerTest, RealSavesInOneBatchAreUploadedAgain) {
  app().setLoginFinish(true);
  UserData::shareUserData().setBTransStart(true);
  handler_ = std::make_unique<OpenDirectoryhandler>(
      folder().string(), OpenDirectoryhandler::Options{std::chrono::milliseconds(400)});
  handler_->startMonitoring();
  ASSERT_TRUE(handler_->waitUntilWatching());

  saveUnchanged("u");
  save("a", "second a, longer");
  save("b", "second b, longer too");
  ASSERT_TRUE(eventually([] { return queued("a") && queued("b"); }));
  EXPECT_FALSE(queued("u"));

  handler_.reset();
  engine_ = std::make_unique<RealTransferEngine>(Network::shareNetwork());
  ASSERT_TRUE(engine_->drain(clock())) << "uploads did not end";
  const Tree server = serverTree("docs");
  EXPECT_EQ(server.at("a.txt").filehash, FakeDrive::contentHash("second a, longer"));
  EXPECT_EQ(server.at("b.txt").filehash, FakeDrive::contentHash("second b, longer too"));
  EXPECT_EQ(server.at("u.txt").filehash, FakeDrive::contentHash("first u"));
}

}  // namespace
}  // namespace nb::test
