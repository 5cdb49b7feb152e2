// The upload task in the sync test world: a real sync manager for the
// library, the fake service's API and storage servers, and the hand-overs
// to the sync engine recorded.

#include "transfer/upload/UploadTask.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"
#include "stores/transfer/TransPortDB.h"
#include "support/RandomBytes.h"
#include "support/SyncWorld.h"
#include "sync/centre/AbsoluteTime.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "transfer/records/TransferRecords.h"

namespace nb {
namespace {

using test::randomBytes;

using test::FakeFault;

class UploadTaskTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    addServerFolder("docs");
    runCoordinatorPass();
    ASSERT_TRUE(manager());
  }

  struct Outcome {
    std::string kind;  // "finish", "outfile", "error"
    TransTaskItem item;
    std::int64_t error = 0;
  };

  UploadEnvironment environment(bool withManager = true) {
    UploadEnvironment env;
    env.addSpeed = [this](std::uint64_t bytes) { speed_ += bytes; };
    env.sendCallback = [this](const TransTaskItem& item) { callbacks_.push_back(item); };
    env.syncManager = [this, withManager](std::int64_t mountid) {
      return withManager ? manager(mountid) : nullptr;
    };
    env.handOver.UploadFinish = [this](SyncManager&, const TransTaskItem& item) {
      outcomes_.push_back({"finish", item, 0});
    };
    env.handOver.UploadFinishOutFile = [this](SyncManager&, const TransTaskItem& item) {
      outcomes_.push_back({"outfile", item, 0});
    };
    env.handOver.UploadError = [this](SyncManager&, const TransTaskItem& item, std::int64_t error,
                                      const std::string&) {
      outcomes_.push_back({"error", item, error});
    };
    return env;
  }

  // A waiting upload record of Docs/<name> holding `bytes`, in the store.
  TransTaskItem queue(const std::string& name, const std::string& bytes, bool sync = false) {
    writeLocal("Docs/" + name, bytes);
    return record(name, bytes.size(), sync, false);
  }
  // A waiting upload record of the folder Docs/<name>, in the store.
  TransTaskItem queueFolder(const std::string& name) {
    makeLocalFolder("Docs/" + name);
    return record(name, 0, true, true);
  }
  TransTaskItem record(const std::string& name, std::uint64_t size, bool sync, bool dir) {
    TransportItem record;
    record.nMountid = kMountId;
    record.strWebpath = "docs/" + name;
    record.strFullpath = local("Docs/" + name).string();
    record.ullFilesize = size;
    record.nStatus = kTransWaiting;
    record.bSync = sync;
    record.bDir = dir;
    EXPECT_TRUE(TransPortDB::shareTransPortDB().Add_Upload(record, "docs"));
    TransTaskItem item;
    item.nIndex = TransPortDB::shareTransPortDB().Get_Upload(kMountId, record.strWebpath).nIndex;
    item.nMountid = kMountId;
    item.strWebpath = record.strWebpath;
    item.strSavepath = record.strFullpath;
    item.ullFilesize = size;
    item.nStatus = kTransWaiting;
    item.bSync = sync;
    item.bDir = dir;
    return item;
  }

  TransportItem stored(const TransTaskItem& item) {
    return TransPortDB::shareTransPortDB().Get_Upload(item.nIndex);
  }

  std::optional<std::string> serverContent(const std::string& path) {
    const auto entry = tree().find(path);
    if (!entry) return std::nullopt;
    return drive_->content(entry->filehash);
  }

  std::vector<Outcome> outcomes_;
  std::vector<TransTaskItem> callbacks_;
  std::uint64_t speed_ = 0;
};

TEST_F(UploadTaskTest, AFileGoesUpAndIsHandedToTheSyncManager) {
  const std::string bytes = randomBytes(1, 2 * 1024 * 1024 + 3);
  UploadTask task(queue("a.bin", bytes), environment());
  task.run();
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "finish");
  EXPECT_EQ(outcomes_[0].item.nStatus, kTransFinished);
  EXPECT_EQ(outcomes_[0].item.strFilehash, sha1HexDigest(bytes));
  EXPECT_EQ(task.nStatus(), kTransEnded);
  EXPECT_EQ(serverContent("docs/a.bin"), bytes);
  EXPECT_EQ(speed_, bytes.size());
  EXPECT_EQ(stored(task.item()).strFilehash, sha1HexDigest(bytes));
  // The snapshot was what went up.
  EXPECT_EQ(outcomes_[0].item.strTemppath, UploadTask::snapshotPath(task.item()));
}

TEST_F(UploadTaskTest, ContentTheServerHoldsFinishesWithoutAStorageCall) {
  const std::string bytes = "already there";
  drive_->putContent(bytes);
  UploadTask task(queue("held.txt", bytes), environment());
  task.run();
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "finish");
  EXPECT_TRUE(storage_->service().callsTo("/upload_init").empty());
  EXPECT_EQ(speed_, bytes.size()) << "the size still counts in the speed";
  EXPECT_EQ(serverContent("docs/held.txt"), bytes);
}

TEST_F(UploadTaskTest, AFailingFirstServerFailsOverToTheNext) {
  auto& second = drive_->addStorageServer();
  storage_->service().fail("/upload_init", FakeFault::errorCode(40309, 403));
  const std::string bytes = randomBytes(2, 1500000);
  UploadTask task(queue("b.bin", bytes), environment());
  task.run();
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "finish");
  EXPECT_EQ(storage_->service().callsTo("/upload_init").size(), 1u);
  EXPECT_FALSE(second.service().callsTo("/upload_part").empty());
  EXPECT_EQ(serverContent("docs/b.bin"), bytes);
}

TEST_F(UploadTaskTest, ServerErrorsOnEveryServerEndWithTheLastCode) {
  storage_->service().fail("/upload_init", FakeFault::bareStatus(502));
  UploadTask task(queue("c.bin", "abc"), environment());
  task.run();
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "error");
  EXPECT_EQ(outcomes_[0].item.strMsg, "0") << "no text: the code in decimal";
}

TEST_F(UploadTaskTest, CacheServersAreTriedFirst) {
  auto& cache = drive_->addStorageServer();
  cache.setCache(true);
  UploadTask task(queue("d.bin", "cached"), environment());
  task.run();
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "finish");
  EXPECT_EQ(cache.service().callsTo("/upload_init").size(), 2u) << "205, then plain";
  EXPECT_TRUE(storage_->service().callsTo("/upload_init").empty());
}

TEST_F(UploadTaskTest, AHashOnlyUploadTheServerLacksFailsWithWrongInfo) {
  TransTaskItem item = queue("e.bin", "not on the server");
  item.nExpand = UploadKind::kHashOnly;
  item.strFilehash = sha1HexDigest("not on the server");
  item.strSavepath.clear();
  UploadTask task(item, environment());
  task.run();
  EXPECT_EQ(api_.callsTo("/2/file/create_file").size(), 2u);
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].kind, "error");
  EXPECT_EQ(outcomes_[0].error, TransError::kWrongInfo);
}

TEST_F(UploadTaskTest, WithoutASyncManagerTheLibrarysRecordsGo) {
  const TransTaskItem item = queue("f.bin", "x");
  UploadTask task(item, environment(false));
  task.run();
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_EQ(stored(item).nIndex, 0);
  EXPECT_TRUE(api_.callsTo("/2/file/create_file").empty());
}

TEST_F(UploadTaskTest, SmallFilesAreSentFromASnapshotLargeOnesInPlace) {
  struct Case {
    std::uint64_t size;
    bool snapshot;
  };
  for (const Case c : {Case{UploadTask::kSnapshotLimit - 1, true},
                       Case{UploadTask::kSnapshotLimit, false}}) {
    TransTaskItem item = queue("sparse" + std::to_string(c.size), "");
    ASSERT_EQ(::truncate(item.strSavepath.c_str(), static_cast<off_t>(c.size)), 0);
    item.ullFilesize = c.size;
    UploadTask task(item, environment());
    EXPECT_EQ(task.initUpload(), 0);
    const std::string expected = c.snapshot ? UploadTask::snapshotPath(item) : item.strSavepath;
    EXPECT_EQ(task.item().strTemppath, expected) << c.size;
    std::filesystem::remove(UploadTask::snapshotPath(item));
  }
}

TEST_F(UploadTaskTest, AFullAccountHoldsUploadsBackForTenMinutes) {
  const TransTaskItem item = queue("g.bin", "x");
  manager()->bSpaceMax = true;
  manager()->ftSpaceMaxTime = absoluteTime();
  const std::uint64_t now = platform::nowSeconds();
  UploadTask first(item, environment());
  EXPECT_EQ(first.initUpload(), 3);
  EXPECT_EQ(stored(item).ullActlast, now + UploadTask::kPostpone);
  EXPECT_TRUE(manager()->bSpaceMax);

  clock().advance(std::chrono::seconds(601));
  UploadTask later(item, environment());
  EXPECT_EQ(later.initUpload(), 3) << "still postponed once";
  EXPECT_FALSE(manager()->bSpaceMax);
  UploadTask after(item, environment());
  EXPECT_EQ(after.initUpload(), 0);
}

TEST_F(UploadTaskTest, ADelayRuleFarAheadIsHeldAtMostTenMinutes) {
  const std::string bytes = "rule";
  TransTaskItem item = queue("h.docx", bytes, true);
  SyncFileItem row;
  row.strWebPath = "docs/h.docx";
  row.strUuidHash = "uuid-h";
  row.ullWebLastTime = platform::nowSeconds();
  manager()->syncdb().add_new_file(row);
  center().delaySyncFile().addNode(R"({"docx":3600})");
  UploadTask task(item, environment());
  EXPECT_EQ(task.initUpload(), 3);
  const TransportItem held = stored(item);
  EXPECT_EQ(held.nStatus, kTransWaiting);
  EXPECT_EQ(held.ullActlast, platform::nowSeconds() + UploadTask::kLongestHold);
}

TEST_F(UploadTaskTest, AStoppedUploadKeepsItsOffsetADeletedOneAbortsTheSession) {
  for (const bool deleting : {false, true}) {
    SCOPED_TRACE(deleting ? "delete" : "stop");
    storage_->service().clearCalls();
    const std::string name = deleting ? "del.bin" : "stop.bin";
    const TransTaskItem item = queue(name, randomBytes(11, 3 * 1024 * 1024));
    // The second piece hangs until the command cancels it.
    storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::milliseconds(0)).times(1));
    storage_->service().fail("/upload_part", FakeFault::slow(std::chrono::seconds(20)).times(1));
    UploadTask task(item, environment());
    std::thread runner([&] { task.run(); });
    while (storage_->service().callsTo("/upload_part").size() < 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (deleting) {
      task.Delete();
    } else {
      task.Stop();
    }
    runner.join();
    storage_->service().clearFaults();
    EXPECT_TRUE(outcomes_.empty());
    EXPECT_TRUE(storage_->service().callsTo("/upload_finish").empty());
    const TransportItem record = stored(item);
    EXPECT_EQ(record.ullOffset, 1024u * 1024u);
    EXPECT_EQ(record.nStatus, deleting ? kTransWaiting : kTransStopped);
    EXPECT_EQ(storage_->service().callsTo("/upload_abort").size(), deleting ? 1u : 0u);
    EXPECT_EQ(callbacks_.size(), 1u);
    callbacks_.clear();
  }
}

// A server move of the folder above, followed while the creation was out,
// re-points the task; the server made the folder at the old path, so the
// new one is not in sync: the record waits to be sent again and nothing is
// handed over. Without the move, the creation finishes.
TEST_F(UploadTaskTest, AFolderRePointedWhileItsCreationWasOutIsSentAgain) {
  for (const bool moved : {false, true}) {
    SCOPED_TRACE(moved ? "moved" : "not moved");
    outcomes_.clear();
    api_.clearCalls();
    const std::string name = moved ? "d1/moved" : "d1/kept";
    const TransTaskItem item = queueFolder(name);
    api_.fail("/2/file/create_folder", FakeFault::slow(std::chrono::seconds(2)).times(1));
    UploadTask task(item, environment());
    std::thread runner([&] { task.run(); });
    while (callCount("/2/file/create_folder") < 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (moved) task.updateItem([](TransTaskItem& it) { it.strWebpath = "docs/d2/moved"; });
    runner.join();
    EXPECT_TRUE(tree().find("docs/" + name).has_value());
    if (moved) {
      EXPECT_TRUE(outcomes_.empty());
      EXPECT_EQ(stored(item).nStatus, kTransWaiting);
    } else {
      ASSERT_EQ(outcomes_.size(), 1u);
      EXPECT_EQ(outcomes_[0].kind, "outfile");
    }
  }
}

}  // namespace
}  // namespace nb
