#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/models/DeleteUploadAllItem.h"
#include "api/session/LanService.h"
#include "api/session/OpenDirectoryhandler.h"
#include "api/models/OpenTransportItem.h"
#include "api/session/TransActionCounter.h"
#include "api/models/TransTaskItem.h"
#include "api/models/TransportItem.h"
#include "support/LogCapture.h"

namespace nb {
namespace {

TEST(TransferRecords, NewRecordsAreEmpty) {
  const TransportItem item;
  EXPECT_EQ(item.nIndex + item.nMountid + item.nStatus + item.nExpand + item.nError + item.nStat,
            0);
  EXPECT_EQ(item.ullFilesize + item.ullOffset + item.ullLast + item.ullActlast, 0u);
  EXPECT_FALSE(item.bDir || item.bSync);
  EXPECT_TRUE(item.strWebpath.empty() && item.strFullpath.empty() && item.strFilehash.empty() &&
              item.strError.empty());
  const TransTaskItem task;
  EXPECT_EQ(task.nTransExpand + task.nStatus, 0);
  EXPECT_EQ(task.ullSpeed + task.ullLast, 0u);
  EXPECT_TRUE(task.strPathhash.empty() && task.strStoragePoint.empty() && task.strMsg.empty());
  EXPECT_EQ(OpenTransportItem{}.ullUploadTime, 0u);
  EXPECT_EQ(DeleteUploadAllItem{}.nMountid, 0);
}

TEST(TransferRecords, FailedMeansFiveOrMore) {
  EXPECT_FALSE(isTransferFailed(kTransFinished));
  EXPECT_TRUE(isTransferFailed(kTransFailed));
  EXPECT_TRUE(isTransferFailed(6));
}

TEST(TransActionCounterTest, ScopesNestAcrossThreadsAndNeverGoNegative) {
  TransActionCounter counter;
  counter.DelTransAction();
  EXPECT_EQ(counter.count(), 0);
  {
    TransActionScope outer(counter);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&] {
        for (int j = 0; j < 1000; ++j) {
          TransActionScope inner(counter);
        }
      });
    }
    for (auto& t : threads) {
      t.join();
    }
    EXPECT_TRUE(counter.busy());
    EXPECT_EQ(counter.count(), 1);
  }
  EXPECT_FALSE(counter.busy());
}

TEST(TransferSeams, DefaultsDoNothingLoudlyAndRegistrationIsUsed) {
  test::LogCapture log;
  getLanService()->checkHttp();
  auto idle = makeOpenDirectoryhandler("/nowhere");
  ASSERT_NE(idle, nullptr);
  idle->startMonitoring();
  EXPECT_EQ(idle->path(), "/nowhere");
  EXPECT_EQ(log.errorLines().size(), 2u);  // one per unwired seam

  struct Counting final : OpenDirectoryhandler {
    using OpenDirectoryhandler::OpenDirectoryhandler;
    void startMonitoring() override {}
  };
  int made = 0;
  setOpenDirectoryhandlerFactory([&](const std::string& path) {
    ++made;
    return std::make_unique<Counting>(path);
  });
  EXPECT_NE(makeOpenDirectoryhandler("/x"), nullptr);
  setOpenDirectoryhandlerFactory(nullptr);
  EXPECT_EQ(made, 1);
}

}  // namespace
}  // namespace nb
