#include "transfer/engine/TransferTask.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "support/ManualClock.h"
#include "transfer/records/TransferRecords.h"

namespace nb {
namespace {

class IdleTask final : public TransferTask {
 public:
  using TransferTask::TransferTask;
  void run() override {}
};

// A source that remembers how it was stopped.
class RecordingPeer final : public PeerBase {
 public:
  using PeerBase::PeerBase;
  void Stop(bool deleting) override {
    stoppedWith = deleting;
    PeerBase::Stop(deleting);
  }
  std::optional<bool> stoppedWith;
};

TransTaskItem itemWith(std::int64_t status, std::uint64_t size = 100) {
  TransTaskItem item;
  item.nIndex = 7;
  item.nStatus = status;
  item.ullFilesize = size;
  return item;
}

TEST(TransferTaskTest, MakingATaskMarksTheItemRunning) {
  IdleTask task(itemWith(kTransWaiting));
  EXPECT_EQ(task.nStatus(), kTransRunning);
  EXPECT_FALSE(task.bStop());
  EXPECT_FALSE(task.bDelete());
}

TEST(TransferTaskTest, StopAndDeleteTurnOnlyARunningItemIntoStopped) {
  struct Case {
    bool deleting;
    std::int64_t statusBefore;
    std::int64_t statusAfter;
  };
  const Case cases[] = {
      {false, kTransRunning, kTransStopped},
      {false, kTransWaiting, kTransWaiting},
      {true, kTransRunning, kTransStopped},
      {true, kTransWaiting, kTransWaiting},
  };
  for (const Case& c : cases) {
    IdleTask task(itemWith(kTransRunning));
    task.setNStatus(c.statusBefore);
    auto first = std::make_shared<RecordingPeer>(&task, "http://127.0.0.1/a");
    auto second = std::make_shared<RecordingPeer>(&task, "http://127.0.0.1/b");
    task.addPeer(first);
    task.addPeer(second);

    EXPECT_TRUE(c.deleting ? task.Delete() : task.Stop());
    EXPECT_EQ(task.nStatus(), c.statusAfter) << c.deleting << " " << c.statusBefore;
    EXPECT_TRUE(task.bStop());
    EXPECT_EQ(task.bDelete(), c.deleting);
    for (const auto& peer : {first, second}) {
      EXPECT_EQ(peer->stoppedWith, std::optional<bool>(c.deleting));
      EXPECT_TRUE(peer->bStop());
      EXPECT_EQ(peer->bDelete(), c.deleting);
      EXPECT_EQ(peer->pRequest(), nullptr);
    }
  }
}

TEST(TransferTaskTest, SpeedIsTheAverageSinceTheStartInWholeSeconds) {
  auto clock = std::make_shared<test::ManualClock>();
  test::ScopedClockOverride scoped(clock);
  clock->advance(std::chrono::seconds(100));  // 0 would read as "not started"
  IdleTask task(itemWith(kTransRunning));
  task.updateItem([](TransTaskItem& item) { item.ullSpeed = 555; });

  EXPECT_EQ(task.GetSpeed(), 0u) << "not started";
  task.setUllStarttime(TransferTask::monotonicSeconds());
  task.addTranssize(1000);
  clock->advance(std::chrono::milliseconds(900));
  EXPECT_EQ(task.GetSpeed(), 0u) << "within the first second";
  EXPECT_EQ(task.item().ullSpeed, 555u) << "the item keeps its last speed";

  clock->advance(std::chrono::milliseconds(2200));  // 3 whole seconds
  task.addTranssize(1000);
  EXPECT_EQ(task.GetSpeed(), 666u);
  EXPECT_EQ(task.ullSpeed(), 666u);
  EXPECT_EQ(task.item().ullSpeed, 666u);
}

TEST(TransferTaskTest, CheckFinishComparesTheDoneMapWithTheSize) {
  IdleTask task(itemWith(kTransRunning, 100));
  const auto cover = [&](std::uint64_t first, std::uint64_t last) {
    std::lock_guard lock(task.pFilesc());
    task.pFinish().InsertPart(first, last);
  };
  EXPECT_FALSE(task.CheckFinish());
  cover(0, 49);
  EXPECT_FALSE(task.CheckFinish());
  cover(50, 99);
  EXPECT_TRUE(task.CheckFinish());

  IdleTask empty(itemWith(kTransRunning, 0));
  EXPECT_TRUE(empty.CheckFinish());
}

}  // namespace
}  // namespace nb
