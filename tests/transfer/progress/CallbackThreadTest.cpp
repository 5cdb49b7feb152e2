// Progress reports to the page following a transfer list: what one pass
// sends, the single reports, the gate, and the once-a-second loop.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "foundation/json/Json.h"
#include "support/LogCapture.h"
#include "transfer/engine/NetworkFixture.h"

namespace nb::test {
namespace {

namespace RealTime {
// Polls `done` in real time, up to 20 s.
bool eventually(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
}  // namespace RealTime

class CallbackThreadTest : public NetworkTestBase {
 protected:
  void SetUp() override {
    NetworkTestBase::SetUp();
    transfer::CallbackThread::setPagesReady([this] { return ready.load(); });
    network->dCallback().SetCallbackStatus(sinkInto(downloadReports));
    network->uCallback().SetCallbackStatus(sinkInto(uploadReports));
  }
  void TearDown() override {
    network->dCallback().stop();
    network->uCallback().stop();
    transfer::CallbackThread::setPagesReady({});
    NetworkTestBase::TearDown();
  }

  transfer::CallbackThread::Sink sinkInto(std::vector<JsonValue>& reports) {
    return [this, &reports](const std::string& json) {
      std::lock_guard lock(mutex);
      reports.push_back(objectFromJSONString(json).value());
    };
  }
  std::vector<JsonValue> downloads() {
    std::lock_guard lock(mutex);
    return downloadReports;
  }
  std::vector<JsonValue> uploads() {
    std::lock_guard lock(mutex);
    return uploadReports;
  }

  std::atomic<bool> ready{true};
  std::mutex mutex;
  std::vector<JsonValue> downloadReports;  // guarded by mutex
  std::vector<JsonValue> uploadReports;    // guarded by mutex
};

constexpr const char* kHash = "0123456789abcdef0123456789abcdef01234567";

TEST_F(CallbackThreadTest, APassRefreshesTheFiguresAndListsTheRunningTransfers) {
  const std::int64_t id = putDownload(3, "docs/a.txt", kHash);
  putDownload(3, "docs/b.txt", "1123456789abcdef0123456789abcdef01234567", 0, false, 3);
  network->start();
  network->refreshCounts();
  ASSERT_TRUE(runUntilMade(0, 1));
  network->dCallback().pass();

  EXPECT_EQ(network->nDownloadCount(), 2);
  const std::vector<JsonValue> got = downloads();
  ASSERT_EQ(got.size(), 1u);
  const JsonValue& report = got[0];
  EXPECT_EQ(report["download_total_count"].asInt64(), 2);
  EXPECT_EQ(report["upload_total_count"].asInt64(), 0);
  EXPECT_EQ(report["upload"].asInt64(), 0);
  ASSERT_EQ(report["list"].size(), 1u);
  const JsonValue& entry = report["list"][0];
  EXPECT_EQ(entry["index"].asInt64(), id);
  EXPECT_EQ(entry["mount_id"].asInt64(), 3);
  EXPECT_EQ(entry["webpath"].asString(), "docs/a.txt");
  EXPECT_EQ(entry["fullpath"].asString(), "/ldocs/a.txt");
  EXPECT_EQ(entry["filesize"].asInt64(), 10);
  EXPECT_EQ(entry["status"].asInt64(), 1);
  EXPECT_TRUE(entry["sync"].isInteger());
  EXPECT_EQ(entry["dir"].asInt64(), 0);
  EXPECT_EQ(entry["expand"].asInt64(), 0);
  EXPECT_FALSE(entry.contains("errormsg")) << "a transfer without an error carries no text";
  EXPECT_TRUE(uploads().empty()) << "each direction reports to its own page";
}

TEST_F(CallbackThreadTest, ASpeedWithNothingUnfinishedReadsZero) {
  network->setNUploadSpeed(5000);
  network->setNUploadCount(0);
  network->setNDownloadSpeed(700);
  network->setNDownloadCount(1);
  network->uCallback().SendCallbackAction("reget");
  network->dCallback().SendCallbackInfos();
  const JsonValue report = downloads().at(0);
  EXPECT_EQ(report["upload"].asInt64(), 0);
  EXPECT_EQ(report["download"].asInt64(), 700);
  EXPECT_EQ(network->nUploadSpeed(), 0u);
  EXPECT_EQ(uploads().at(0), JsonValue::object({{"action", "reget"}}));
}

TEST_F(CallbackThreadTest, SingleReportsCarryOneEntry) {
  TransportItem finished;
  finished.nIndex = 9;
  finished.nMountid = 3;
  finished.strWebpath = "a.txt";
  finished.strFullpath = "/l/a.txt";
  finished.ullFilesize = 10;
  finished.ullOffset = 10;
  finished.nStatus = 2;
  finished.strError = "old";
  network->SendCallbackInfoByTransport(TransDirection::Download, finished);
  TransTaskItem failed;
  failed.nIndex = 4;
  failed.nStatus = 5;
  failed.strMsg = "空间不足";
  failed.ullSpeed = 30;
  failed.nTransExpand = 1;
  network->SendCallbackInfoByTransTask(TransDirection::Upload, failed);

  const JsonValue done = downloads().at(0)["list"][0];
  EXPECT_EQ(done, JsonValue::object({{"index", 9},
                                     {"mount_id", 3},
                                     {"webpath", "a.txt"},
                                     {"fullpath", "/l/a.txt"},
                                     {"status", 4},
                                     {"offset", 10},
                                     {"filesize", 10},
                                     {"sync", 0},
                                     {"dir", 0},
                                     {"speed", 0},
                                     {"errormsg", ""},
                                     {"expand", 0}}));
  const JsonValue up = uploads().at(0)["list"][0];
  EXPECT_EQ(up["status"].asInt64(), 5);
  EXPECT_EQ(up["errormsg"].asString(), "空间不足");
  EXPECT_EQ(up["speed"].asInt64(), 30);
  EXPECT_EQ(up["expand"].asInt64(), 1);
}

TEST_F(CallbackThreadTest, NothingIsSentBeforeThePagesAreReadyOrWithoutASink) {
  ready = false;
  network->dCallback().SendCallbackAction("reget");
  network->uCallback().pass();
  EXPECT_TRUE(downloads().empty());
  EXPECT_TRUE(uploads().empty());

  ready = true;
  network->dCallback().SetCallbackStatus({});
  EXPECT_FALSE(network->dCallback().hasSink());
  network->dCallback().SendCallbackAction("reget");
  EXPECT_TRUE(downloads().empty());

  LogCapture log;
  transfer::CallbackThread::setPagesReady({});
  network->uCallback().SendCallbackAction("reget");
  EXPECT_TRUE(uploads().empty());
  EXPECT_EQ(log.errorLines().size(), 1u) << "an unwired readiness check shows in the log";
}

TEST_F(CallbackThreadTest, TheLoopReportsOnceASecondAndRefreshesWithoutAPage) {
  putUpload(3, "u.txt");
  network->uCallback().SetCallbackStatus({});
  network->uCallback().start();
  network->dCallback().start();
  // Real time only: the loops' clock moves when the test moves it.
  const auto reach = [&](std::size_t n) {
    return RealTime::eventually([&] { return downloads().size() >= n; });
  };
  ASSERT_TRUE(reach(1)) << "the first report comes at once";
  ASSERT_TRUE(RealTime::eventually([&] { return network->nUploadCount() == 1; }))
      << "the figures are refreshed without a page";
  for (std::size_t second = 1; second <= 3; ++second) {
    ASSERT_TRUE(clock->waitForSleepers(2));
    clock->advance(std::chrono::milliseconds(500));
    ASSERT_TRUE(clock->waitForSleepers(2));
    EXPECT_EQ(downloads().size(), second) << "nothing within the second";
    clock->advance(std::chrono::milliseconds(500));
    ASSERT_TRUE(reach(second + 1));
  }
  EXPECT_TRUE(uploads().empty());
  network->dCallback().stop();
  EXPECT_FALSE(network->dCallback().isRunning());
}

}  // namespace
}  // namespace nb::test
