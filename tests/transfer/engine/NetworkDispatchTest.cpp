// The dispatch loops against a real transfer store: order, width, the
// conditions that hold them, hold-backs, one task per record, restarts.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "transfer/engine/NetworkFixture.h"
#include "transfer/records/TransferRecords.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

class NetworkDispatchTest : public NetworkTestBase {};

const std::string kHashA(40, 'a');
const std::string kHashB(40, 'b');

TEST_F(NetworkDispatchTest, WaitingUploadsStartInTheStoresOrderUpToTheWidth) {
  const std::int64_t plain1 = putUpload(1, "/p1");
  const std::int64_t full = putUpload(1, "/full", UploadKind::kFull);
  const std::int64_t plain2 = putUpload(1, "/p2");
  const std::int64_t hashOnly = putUpload(1, "/h", UploadKind::kHashOnly);
  network->SetUTaskMax(2);
  network->start();
  network->refreshCounts();

  ASSERT_TRUE(runUntilMade(2, 0));
  runFor(1s);
  EXPECT_EQ(uploads.ids(), (std::vector<std::int64_t>{full, hashOnly}));  // larger kind first
  EXPECT_EQ(uploadStatus(full), kTransRunning);
  EXPECT_EQ(uploadStatus(plain1), kTransWaiting);
  EXPECT_EQ(network->GetTransCount(), 2);

  uploads.find(full)->end();
  ASSERT_TRUE(runUntilMade(3, 0));
  EXPECT_EQ(uploads.ids().back(), plain1);  // then the lower id
  uploads.find(hashOnly)->end();
  ASSERT_TRUE(runUntilMade(4, 0));
  EXPECT_EQ(uploads.ids().back(), plain2);
}

TEST_F(NetworkDispatchTest, DownloadsStartOnTheirOwnQueue) {
  const std::int64_t first = putDownload(1, "/a", kHashA);
  const std::int64_t prefetch = putDownload(1, "/b", kHashB, DownloadKind::kPrefetch);
  network->SetDTaskMax(1);
  network->start();
  network->refreshCounts();
  network->dManager().SetTransStart();

  ASSERT_TRUE(runUntilMade(0, 1));
  EXPECT_EQ(downloads.ids().front(), prefetch);
  EXPECT_EQ(downloadStatus(prefetch), kTransRunning);
  downloads.find(prefetch)->end();
  ASSERT_TRUE(runUntilMade(0, 2));
  EXPECT_EQ(downloads.ids().back(), first);
  EXPECT_EQ(uploads.size(), 0u);
}

// Each condition that holds both loops: nothing starts while it holds, the
// waiting records start once it is lifted.
TEST_F(NetworkDispatchTest, NothingStartsWhileAConditionHolds) {
  struct Case {
    const char* name;
    std::function<void(bool hold)> set;
  };
  const Case cases[] = {
      {"signed out", [this](bool hold) { app->setLoginFinish(!hold); }},
      {"offline", [this](bool hold) { app->setLinkStatus(!hold); }},
      {"transfer switch off", [this](bool hold) { transStart = !hold; }},
      {"libraries not loaded", [this](bool hold) { librariesLoaded = !hold; }},
      {"bulk add open",
       [this](bool hold) {
         if (hold) {
           network->AddTransAction();
         } else {
           network->DelTransAction();
         }
       }},
  };
  network->start();
  std::int64_t mountid = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.set(true);
    runFor(3s);  // every loop has seen it
    const std::int64_t up = putUpload(++mountid, "/u");
    const std::int64_t down = putDownload(mountid, "/d", std::string(40, char('0' + mountid)));
    network->refreshCounts();
    network->dManager().SetTransStart();
    runFor(5s);
    EXPECT_EQ(uploads.find(up), nullptr);
    EXPECT_EQ(downloads.find(down), nullptr);
    EXPECT_EQ(uploadStatus(up), kTransWaiting);

    c.set(false);
    EXPECT_TRUE(runUntil([&] { return uploads.find(up) && downloads.find(down); }));
  }
}

TEST_F(NetworkDispatchTest, ABulkAddHoldsNewTasksWhileRunningOnesGoOn) {
  const std::int64_t first = putUpload(1, "/a");
  network->start();
  network->refreshCounts();
  ASSERT_TRUE(runUntilMade(1, 0));

  network->AddTransAction();
  const std::int64_t second = putUpload(1, "/b");
  network->refreshCounts();
  runFor(5s);
  EXPECT_EQ(uploads.find(second), nullptr);
  EXPECT_FALSE(uploads.find(first)->bStop());
  EXPECT_EQ(network->GetTransCount(), 1);

  network->DelTransAction();
  EXPECT_TRUE(runUntil([&] { return uploads.find(second) != nullptr; }));
}

TEST_F(NetworkDispatchTest, SecondRecordOfTheSameTransferWaitsForTheFirst) {
  const std::int64_t down1 = putDownload(1, "/a", kHashA);
  const std::int64_t down2 = putDownload(2, "/other", kHashA);  // same content
  const std::int64_t up1 = putUpload(1, "/Doc");
  const std::int64_t up2 = putUpload(2, "/Doc");  // another library: free to run
  network->start();
  network->refreshCounts();
  network->dManager().SetTransStart();
  ASSERT_TRUE(runUntilMade(2, 1));
  runFor(3s);
  EXPECT_EQ(downloads.ids(), (std::vector<std::int64_t>{down1}));
  EXPECT_EQ(downloadStatus(down2), kTransWaiting);
  EXPECT_NE(uploads.find(up1), nullptr);
  EXPECT_NE(uploads.find(up2), nullptr);

  downloads.find(down1)->end();
  EXPECT_TRUE(runUntil([&] { return downloads.find(down2) != nullptr; }));
}

TEST_F(NetworkDispatchTest, ARecordStartedAgainWhileItsTaskRunsKeepsOneTask) {
  const std::int64_t id = putUpload(1, "/a");
  network->start();
  network->refreshCounts();
  ASSERT_TRUE(runUntilMade(1, 0));

  network->StartUpload({id});  // waiting again in the store, task still running
  EXPECT_EQ(uploadStatus(id), kTransWaiting);
  runFor(5s);
  EXPECT_EQ(uploads.size(), 1u);
  EXPECT_FALSE(uploads.find(id)->bStop());  // start touches only the store
}

TEST_F(NetworkDispatchTest, ExitThenStartLeavesOneLoopPerDirection) {
  app->setLoginFinish(false);  // every loop sleeps 2 s a pass
  network->start();
  ASSERT_TRUE(clock->waitForSleepers(2));
  network->exit();
  network->start();
  ASSERT_TRUE(clock->waitForSleepers(2));
  for (int i = 0; i < 5; ++i) {
    clock->advance(2s);
    ASSERT_TRUE(clock->waitForSleepers(2));
    // A loop left over from before the restart would be a third sleeper.
    EXPECT_LE(clock->sleepers(), 2u);
  }
  EXPECT_FALSE(clock->waitForSleepers(3, 500ms));
}

TEST_F(NetworkDispatchTest, StartZeroesTheCountersAndTheBulkAddCounter) {
  network->setNUploadCount(4);
  network->setNDownloadSpeed(9);
  network->AddTransAction();
  network->start();
  EXPECT_EQ(network->nUploadCount(), 0);
  EXPECT_EQ(network->nDownloadSpeed(), 0u);
  EXPECT_EQ(network->nTransAction(), 0);
  network->DelTransAction();  // a scope ending after the restart stays at 0
  EXPECT_EQ(network->nTransAction(), 0);
}

// A task whose body throws: the upload is postponed a minute instead of
// showing running until the next sign-in; the download fails with 21.
TEST_F(NetworkDispatchTest, ATaskEndedByAnExceptionLeavesItsRecordDispatchable) {
  const std::int64_t up = putUpload(1, "/a");
  const std::int64_t down = putDownload(1, "/b", kHashA);
  network->start();
  network->refreshCounts();
  network->dManager().SetTransStart();
  ASSERT_TRUE(runUntil([&] { return network->GetTransCount() == 2; }));
  app->setLoginFinish(false);  // no loop re-queues the failure meanwhile
  runFor(3s);
  ASSERT_TRUE(clock->waitForSleepers(2));  // both loops hold, nothing half done
  const std::uint64_t thrownAt = clock->wallSeconds();
  uploads.find(up)->end(true);
  downloads.find(down)->end(true);
  ASSERT_TRUE(runUntil([&] { return network->GetTransCount() == 0; }));

  EXPECT_EQ(uploadStatus(up), kTransWaiting);
  const std::int64_t actlast = number("select actlast from Upload where id = ?", {up});
  EXPECT_GE(actlast, static_cast<std::int64_t>(thrownAt + 60));
  EXPECT_LE(actlast, static_cast<std::int64_t>(clock->wallSeconds() + 60));
  // Stored as failed; a loop's re-queue of failures, which may already have
  // run, keeps the number and the text.
  EXPECT_NE(downloadStatus(down), kTransRunning);
  EXPECT_EQ(number("select errornum from Download where id = ?", {down}), 21);
  EXPECT_EQ(text("select errormsg from Download where id = ?", {down}), "failed");
}

TEST_F(NetworkDispatchTest, FailedRecordsReturnAtTheFirstEmptyPollThenOncePerMinute) {
  const std::int64_t failed = putUpload(1, "/a", 0, false, kTransFailed);
  const std::uint64_t started = clock->wallSeconds();
  network->start();
  network->refreshCounts();
  ASSERT_TRUE(runUntil([&] { return network->GetTransCount() == 1; }));  // the first empty poll
  uploads.find(failed)->end();
  ASSERT_TRUE(runUntil([&] { return network->GetTransCount() == 0; }));
  exec("update Upload set status = 5 where id = ?", {failed});
  const std::uint64_t since = clock->wallSeconds();

  ASSERT_TRUE(runUntilMade(2, 0));
  // The first reset came at or after the start; the next not before 61 s.
  EXPECT_GE(clock->wallSeconds(), started + 61) << since;
}

}  // namespace
}  // namespace nb::test
