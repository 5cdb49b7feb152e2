// Working the paths marked for an immediate re-read.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncStates.h"
#include "sync/server/FeedFixture.h"

namespace nb {
namespace {

using test::FakeFault;

class ReSyncQueueTest : public test::FeedFixture {
 protected:
  // A page of the folder's feed as the service would send it.
  static nlohmann::json page(uint64_t dateline, uint64_t id, int items) {
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < items; ++i) list.push_back({{"fullpath", "docs/x"}, {"cmd", 2}});
    return {{"dateline", dateline}, {"id", id}, {"list", list}};
  }
};

struct FileEntryCase {
  const char* name;
  bool onServer;
  std::optional<FakeFault> fault;
  bool entryKept;
  bool rowKept;
};

class FileEntryTest : public ReSyncQueueTest, public testing::WithParamInterface<FileEntryCase> {};

TEST_P(FileEntryTest, FileEntriesAreAskedForAlone) {
  const FileEntryCase& c = GetParam();
  const auto m = start();
  if (c.onServer) putServerFile("a.txt", "server");
  const SyncFileItem row = plant(*m, "a.txt", SyncStatus::kUploadPending);
  m->Add_Upload(row, "", true, "a.txt");
  m->syncdb().inset_sync_now("a.txt", false, true);
  m->overwrite().addNode("a.txt");
  if (c.fault) api_.fail("/2/file/info", *c.fault);
  const auto window = app().addWindow(kMountId, "elsewhere");

  m->comparenow();
  const auto entries = m->syncdb().get_sync_now();
  EXPECT_EQ(entries.size(), c.entryKept ? 1U : 0U);
  if (c.entryKept) {
    EXPECT_EQ(m->syncdb().get_sync_nowtype("a.txt", false), 1);
  }
  EXPECT_EQ(storeRows().count("a.txt"), c.rowKept ? 1U : 0U);
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Upload(kMountId, "a.txt").nIndex != 0, c.rowKept);
  EXPECT_EQ(m->overwrite().nodes().empty(), c.onServer && !c.fault);
  EXPECT_EQ(window->events().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FileEntryTest,
    testing::Values(FileEntryCase{"on the server", true, std::nullopt, false, true},
                    FileEntryCase{"gone", false, std::nullopt, false, false},
                    FileEntryCase{"refused", true, FakeFault::errorCode(40003, 400), false, false},
                    FileEntryCase{"server down", true, FakeFault::errorCode(50000, 500), true, true}));

TEST_F(ReSyncQueueTest, AnEmptyQueueSendsNothing) {
  const auto m = start();
  const auto window = app().addWindow(kMountId, "");
  m->comparenow();
  EXPECT_TRUE(window->events().empty());
}

TEST_F(ReSyncQueueTest, AFolderIsReadAgainAndItsLeftoverMarksDropped) {
  addServerFolder("docs");
  const auto m = start();
  plant(*m, "docs/stale.txt", SyncStatus::kResetMark);
  plant(*m, "docs/fine.txt", SyncStatus::kSynced);
  plant(*m, "other.txt", SyncStatus::kResetMark);
  m->syncdb().inset_sync_now("docs", true, false);
  api_.clearCalls();

  m->comparenow();
  EXPECT_EQ(feedParams("fullpath"), std::vector<std::string>{"/docs/"});
  EXPECT_EQ(feedParams("dateline"), std::vector<std::string>{"0"});
  EXPECT_EQ(feedParams("id"), std::vector<std::string>{"1"});
  EXPECT_EQ(feedParams("init"), std::vector<std::string>{"1"});
  const test::Rows rows = storeRows();
  EXPECT_EQ(rows.count("docs/stale.txt"), 0U);
  EXPECT_EQ(rows.count("docs/fine.txt"), 1U);
  EXPECT_EQ(rows.count("other.txt"), 1U);
  EXPECT_TRUE(m->syncdb().get_sync_now().empty());
  EXPECT_EQ(network().calls().front(),
            (test::FakeNetwork::Call{"ClearTrans", "docs|7|both"}));
}

TEST_F(ReSyncQueueTest, AnInterruptedReReadResumesWhereItGot) {
  const auto m = start();
  plant(*m, "docs/stale.txt", SyncStatus::kResetMark);
  m->syncdb().inset_sync_now("docs", true, false);
  bool serverUp = false;
  api_.on("POST", "/1/file/compare", [&](const test::FakeCall& call) {
    if (serverUp) return test::FakeReply::json(page(90, 12, 0));
    if (call.param("dateline") == "0") return test::FakeReply::json(page(77, 5, 1000));
    return test::FakeReply::error(500, 50000, "down");
  });

  m->comparenow();
  auto entries = m->syncdb().get_sync_now();
  ASSERT_EQ(entries.size(), 1U);
  EXPECT_EQ(entries[0].ullDateline, 77U);
  EXPECT_EQ(storeRows().count("docs/stale.txt"), 1U);

  serverUp = true;
  api_.clearCalls();
  m->comparenow();
  EXPECT_EQ(feedParams("dateline"), std::vector<std::string>{"77"});
  EXPECT_TRUE(m->syncdb().get_sync_now().empty());
  EXPECT_EQ(storeRows().count("docs/stale.txt"), 0U);
}

TEST_F(ReSyncQueueTest, AFolderMarkedAgainWhileReadKeepsItsEntryAndMarks) {
  addServerFolder("docs");
  const auto m = start();
  plant(*m, "docs/stale.txt", SyncStatus::kResetMark);
  m->syncdb().inset_sync_now("docs", true, false);
  // The new mark lands while the re-read runs (its transfers are dropped
  // just before the feed is read).
  network().setOnCall([&](const test::FakeNetwork::Call& call) {
    if (call.name == "ClearTrans") m->syncdb().inset_sync_now("docs", true, false);
  });
  m->comparenow();
  network().setOnCall({});
  EXPECT_EQ(m->syncdb().get_sync_now().size(), 1U);
  EXPECT_EQ(m->syncdb().get_sync_nowtype("docs", true), 0);
  EXPECT_EQ(storeRows().count("docs/stale.txt"), 1U);
}

}  // namespace
}  // namespace nb
