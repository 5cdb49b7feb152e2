// Which source fetches which bytes of a download, and the election between
// clients on the local network that want the same content.
#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/ManualClock.h"
#include "transfer/download/DownloadTask.h"
#include "transfer/download/RecordingPeer.h"

namespace nb::test {
namespace {

constexpr std::uint64_t kSize = 10'485'760;
const std::string kHash(40, 'b');

class DownloadSchedulingTest : public ::testing::Test {
 protected:
  std::shared_ptr<DownloadTask> makeTask(std::int64_t ownUserId = 9) {
    TransTaskItem item;
    item.nIndex = 1;
    item.nMountid = 7;
    item.strFilehash = kHash;
    item.ullFilesize = kSize;
    DownloadServices services;
    useRecordingPeers(services);
    services.userId = [ownUserId] { return ownUserId; };
    return DownloadTask::make(item, std::move(services));
  }
  static RecordingPeer& peer(DownloadTask& task, std::size_t i) {
    return static_cast<RecordingPeer&>(*task.downloadPeers().at(i));
  }
  static std::string lan(int n) {
    return "http://10.0.0." + std::to_string(n) + ":24753/download?filehash=" + kHash;
  }

  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  ScopedClockOverride clockOverride_{clock_};
};

TEST_F(DownloadSchedulingTest, FirstPassGivesEachServerSourceItsOwnRange) {
  auto task = makeTask();
  ASSERT_TRUE(task->AddHttpPeer("https://s1/a"));
  ASSERT_TRUE(task->AddHttpPeer("https://s2/b"));
  EXPECT_FALSE(task->AddHttpPeer("https://s1/a"));  // listed once

  EXPECT_TRUE(task->GetRunPeer());
  using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
  EXPECT_EQ(peer(*task, 0).started, (Ranges{{0, 1023}}));
  EXPECT_EQ(peer(*task, 1).started, (Ranges{{1024, 2047}}));
  EXPECT_TRUE(task->bHttpStart());

  // Both are running: nothing more to give.
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_EQ(peer(*task, 0).started.size(), 1u);
  EXPECT_EQ(peer(*task, 1).started.size(), 1u);
}

TEST_F(DownloadSchedulingTest, AnEmptyListStartsNothingAndLetsThisClientFetch) {
  auto task = makeTask();
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_TRUE(task->bHttpAble());
  EXPECT_FALSE(task->bHttpStart());
}

// One server source and one LAN client announcing part of the file.
struct ElectionCase {
  const char* name;
  std::int64_t ownId;
  std::int64_t peerId;
  bool peerHttpStart;
  bool peerHttpAble;
  bool serverUsed;
  bool announcedAble;
};

class DownloadElectionTest : public DownloadSchedulingTest,
                             public ::testing::WithParamInterface<ElectionCase> {};

TEST_P(DownloadElectionTest, DecidesWhetherServerSourcesFetch) {
  const ElectionCase& c = GetParam();
  auto task = makeTask(c.ownId);
  ASSERT_TRUE(task->AddHttpPeer("https://s1/a"));
  ASSERT_TRUE(task->AddUdpPeerPartial(lan(5), c.peerHttpStart, c.peerHttpAble, c.peerId,
                                      "0-5000000"));

  EXPECT_TRUE(task->GetRunPeer());
  EXPECT_EQ(!peer(*task, 0).started.empty(), c.serverUsed);
  EXPECT_EQ(peer(*task, 1).started.size(), 1u) << "LAN sources fetch in every case";
  EXPECT_EQ(task->bHttpAble(), c.announcedAble);
  EXPECT_EQ(task->bHttpStart(), c.serverUsed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadElectionTest,
    ::testing::Values(
        // Another client with a lower user id may fetch: it does; this one
        // still says it could.
        ElectionCase{"LowerIdWins", 9, 5, false, true, false, true},
        ElectionCase{"HigherIdLoses", 5, 9, false, true, true, true},
        // A lower id that may not fetch takes no part.
        ElectionCase{"LowerIdNotAble", 9, 5, false, false, true, true},
        // A client already fetching from the service keeps this one off it.
        ElectionCase{"PeerAlreadyFetching", 5, 9, true, true, false, false},
        ElectionCase{"NoUserId", 9, 0, false, true, true, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(DownloadSchedulingTest, PartialAnnouncementsAddOnlyWhatIsStillNeeded) {
  auto task = makeTask();
  {
    std::lock_guard files(task->pFilesc());
    task->pFinish().InsertPart(0, 4999);
  }
  EXPECT_FALSE(task->AddUdpPeerPartial(lan(1), false, true, 5, "0-4999"));
  EXPECT_FALSE(task->AddUdpPeerPartial(lan(1), false, true, 5, ""));
  EXPECT_TRUE(task->downloadPeers().empty());

  ASSERT_TRUE(task->AddUdpPeerPartial(lan(1), false, true, 5, "0-9999"));
  // Announced again: refreshed, not added; the user id stays.
  EXPECT_FALSE(task->AddUdpPeerPartial(lan(1), true, false, 3, "0-19999"));
  const auto peers = task->downloadPeers();
  ASSERT_EQ(peers.size(), 1u);
  EXPECT_TRUE(peers[0]->bHttpStart());
  EXPECT_FALSE(peers[0]->bHttpAble());
  EXPECT_EQ(peers[0]->nUserId(), 5);

  // Scheduling skips what is done and starts after it.
  EXPECT_TRUE(task->GetRunPeer());
  EXPECT_EQ(peer(*task, 0).started.at(0).first, 5000u);
}

TEST_F(DownloadSchedulingTest, StaleLanSourceBecomesBadAndThenTheTaskHasNoSource) {
  auto task = makeTask();
  ASSERT_TRUE(task->AddUdpPeerWhole(lan(2)));
  EXPECT_FALSE(task->AddUdpPeerWhole(lan(2)));
  clock_->advance(std::chrono::seconds(30));
  EXPECT_TRUE(task->GetRunPeer());  // still fresh at 30 s
  peer(*task, 0).setBStart(false);

  clock_->advance(std::chrono::seconds(31));
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_TRUE(task->downloadPeers()[0]->bBad());
  EXPECT_FALSE(task->bBadPeer()) << "counted as bad from the next pass on";
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_TRUE(task->bBadPeer());
}

TEST_F(DownloadSchedulingTest, EveryServerSourceExpiredAsksForNewAddresses) {
  auto task = makeTask();
  ASSERT_TRUE(task->AddHttpPeer("https://s1/a"));
  ASSERT_TRUE(task->AddHttpPeer("https://s2/b"));
  task->downloadPeers()[0]->setBUrlTimeOut(true);
  EXPECT_TRUE(task->GetRunPeer());
  EXPECT_FALSE(task->bResetUrl());
  peer(*task, 1).setBStart(false);
  task->downloadPeers()[1]->setBUrlTimeOut(true);
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_TRUE(task->bResetUrl());
}

TEST_F(DownloadSchedulingTest, SilentRunningSourceIsGivenUpAndItsRangeGoesToAnother) {
  auto task = makeTask();
  ASSERT_TRUE(task->AddHttpPeer("https://s1/a"));
  ASSERT_TRUE(task->GetRunPeer());
  ASSERT_TRUE(task->AddHttpPeer("https://s2/b"));
  clock_->advance(std::chrono::seconds(31));

  // The silent one is stopped and counted; the new one takes its bytes.
  EXPECT_TRUE(task->GetRunPeer());
  EXPECT_EQ(task->downloadPeers()[0]->nBadNum(), 1);
  EXPECT_EQ(peer(*task, 1).started.at(0).first, 0u);
  // Stopped but still marked running: counted again each pass, bad by the third.
  peer(*task, 1).setBStart(false);
  task->GetRunPeer();
  peer(*task, 1).setBStart(false);
  task->GetRunPeer();
  EXPECT_TRUE(task->downloadPeers()[0]->bBad());
}

TEST_F(DownloadSchedulingTest, StoppedTaskStartsNothing) {
  auto task = makeTask();
  ASSERT_TRUE(task->AddHttpPeer("https://s1/a"));
  task->Stop();
  EXPECT_FALSE(task->GetRunPeer());
  EXPECT_TRUE(peer(*task, 0).started.empty());
}

TEST_F(DownloadSchedulingTest, InternalStorageIsAnAddressOutsideTheConfiguredDomains) {
  struct Case {
    std::vector<std::string> domains;
    std::string url;
    bool internal;
  };
  const std::vector<Case> cases = {
      {{}, "https://10.1.1.1/x", false},  // nothing configured
      {{".nubren.com", ".objects.example"}, "https://a.nubren.com/x", false},
      {{".nubren.com", ".objects.example"}, "https://10.1.1.1/x", true},
  };
  for (const auto& c : cases) {
    TransTaskItem item;
    item.ullFilesize = kSize;
    DownloadServices services;
    useRecordingPeers(services);
    services.storageDomains = [&c] { return c.domains; };
    auto task = DownloadTask::make(item, std::move(services));
    task->AddHttpPeer(c.url);
    task->AddUdpPeerWhole(lan(3));  // LAN sources are never internal storage
    EXPECT_EQ(task->checkUrlsIsCache(), c.internal) << c.url;
  }
}

}  // namespace
}  // namespace nb::test
