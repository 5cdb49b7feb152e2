// Reading the change feed: paging, where the cursor is kept, failures,
// token renewal, a folder gone from the server, and the closing notices.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "api/session/UserData.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncStates.h"
#include "sync/server/FeedFixture.h"

namespace nb {
namespace {

using test::FakeChange;
using test::FakeFault;

class ChangeFeedTest : public test::FeedFixture {
 protected:
  // `count` changes since the stored cursor: one new file, then commands
  // the engine skips, so only the paging shows.
  void feedChanges(int count) {
    ASSERT_EQ(tree().putFile("f.txt", std::string(40, 'b'), 1, test::FakeMember{}),
              test::FakeTreeError::None);
    for (int i = 1; i < count; ++i) ASSERT_EQ(tree().announce("f.txt", 2), test::FakeTreeError::None);
  }
};

struct PagingCase {
  int changes;
  std::vector<std::string> ids;  // the "id" of each request
  bool haveData;
};

class FeedPagingTest : public ChangeFeedTest, public testing::WithParamInterface<PagingCase> {};

TEST_P(FeedPagingTest, ReadsPagesOfAThousandAndKeepsThePosition) {
  const PagingCase& c = GetParam();
  const auto m = start();
  feedChanges(c.changes);
  api_.clearCalls();

  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(feedParams("id"), c.ids);
  EXPECT_EQ(m->bCompareHaveData, c.haveData);
  const SyncVersion cursor = storedCursor(*m);
  EXPECT_EQ(cursor.ullIndex, tree().changes().back().id);
  EXPECT_EQ(cursor.ullDateline, clock().wallSeconds());
  EXPECT_FALSE(cursor.bCompareInit);
  EXPECT_EQ(m->nUpdateNum, c.changes);
}

INSTANTIATE_TEST_SUITE_P(Pages, FeedPagingTest,
                         testing::Values(PagingCase{999, {"0"}, false},
                                         PagingCase{1000, {"0", "1000"}, true},
                                         PagingCase{2500, {"0", "1000", "2000"}, true}));

TEST_F(ChangeFeedTest, AStoppedPassResumesAtTheLastAppliedPage) {
  auto first = start();
  constexpr int kFiles = 2500;
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_EQ(tree().putFile("f" + std::to_string(i), std::string(40, 'c'), 1, {}),
              test::FakeTreeError::None);
  }
  cursorAtFeedEnd(*first);
  const uint64_t start = tree().changes().back().id;
  test::Rows expected;
  {
    Syncdb::Transaction batch(first->syncdb());
    for (int i = 0; i < kFiles; ++i) {
      const std::string path = "f" + std::to_string(i);
      plant(*first, path, SyncStatus::kSynced);
      expected[path] = {SyncStatus::kRemovedOnServer, false, std::string(40, 'a')};
    }
  }
  for (int i = 0; i < kFiles; ++i) removeServer("f" + std::to_string(i));

  // Stopped inside the second page: each applied deletion drops the path's
  // downloads once.
  std::atomic<int> applied{0};
  network().setOnCall([&](const test::FakeNetwork::Call& call) {
    if (call.name == "ClearTrans" && ++applied == 1500) first->exit();
  });
  // The pull alone: a whole pass would also commit the deletions it saw.
  EXPECT_FALSE(first->receive_from_server());
  network().setOnCall({});
  EXPECT_EQ(storedCursor(*first).ullIndex, start + 1000);
  EXPECT_EQ(storeRows().at("f1499").status, SyncStatus::kRemovedOnServer);
  EXPECT_EQ(storeRows().at("f1500").status, SyncStatus::kSynced);

  // The next manager of the library picks up from the store.
  api_.clearCalls();
  const auto next = SyncManager::initwithmount(mountItem(), center());
  EXPECT_TRUE(next->receive_from_server());
  EXPECT_EQ(feedParams("id"), (std::vector<std::string>{std::to_string(start + 1000),
                                                        std::to_string(start + 2000)}));
  EXPECT_EQ(storedCursor(*next).ullIndex, start + kFiles);
  EXPECT_EQ(storeRows(), expected);
}

TEST_F(ChangeFeedTest, NewServerFilesArriveOnceWhateverPagesAreReadAgain) {
  const auto m = start();
  const auto first = tree().changes().size();
  constexpr int kFiles = 2500;
  test::Rows expected;
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = "f" + std::to_string(i);
    ASSERT_EQ(tree().putFile(path, std::string(40, 'c'), 1, {}), test::FakeTreeError::None);
    expected[path] = {SyncStatus::kServerOnly, false, std::string(40, 'c')};
  }
  api_.clearCalls();
  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(api_.callsTo("/1/file/compare").size(), 3U);
  EXPECT_EQ(storeRows(), expected);

  // As a pass stopped inside the second page leaves it: the cursor at the
  // end of the first. Reading the rest again changes nothing.
  const auto changes = tree().changes();
  const FakeChange& pageEnd = changes[first + 999];
  ASSERT_TRUE(m->syncdb().update_total_version(SyncVersion{"/", pageEnd.dateline, pageEnd.id, false}));
  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(storeRows(), expected);
  EXPECT_EQ(storedCursor(*m).ullIndex, changes.back().id);
}

TEST_F(ChangeFeedTest, RefusedTokenIsRenewedAndTheCursorRead) {
  const auto m = start();
  feedChanges(3);
  // Refused through the web API client's own three renewals as well.
  api_.fail("/1/file/compare", FakeFault::errorCode(40101, 401).times(4));
  // The session's renewal, answered with a fresh token of the same user.
  int renewals = 0;
  api_.on("POST", "/oauth2/token2", [&](const test::FakeCall&) {
    ++renewals;
    return test::FakeReply::json({{"access_token", drive_->signIn(user_)},
                                  {"refresh_token", "refresh-" + std::to_string(renewals)},
                                  {"expires_in", 3600}});
  }, test::FakeEndpointRules{.isSigned = true, .needsToken = false});
  api_.clearCalls();
  const std::string before = UserData::shareUserData().userToken();

  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(api_.callsTo("/1/file/compare").size(), 5U);
  EXPECT_EQ(renewals, 1);
  EXPECT_NE(UserData::shareUserData().userToken(), before);
  EXPECT_EQ(storedCursor(*m).ullIndex, tree().changes().back().id);
}

struct FailureCase {
  int failures;  // -1: every answer
  bool result;
};

class FeedFailureTest : public ChangeFeedTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FeedFailureTest, TenFailedRequestsEndTheCursor) {
  const FailureCase& c = GetParam();
  const auto m = start();
  feedChanges(2);
  const SyncVersion before = storedCursor(*m);
  const auto fault = FakeFault::errorCode(50000, 500);
  api_.fail("/1/file/compare", c.failures < 0 ? fault : fault.times(c.failures));
  api_.clearCalls();
  m->bFirstCompare = true;

  EXPECT_EQ(m->receive_from_server(), c.result);
  EXPECT_EQ(api_.callsTo("/1/file/compare").size(), 10U);
  EXPECT_EQ(storedCursor(*m).ullIndex == before.ullIndex, !c.result);
  EXPECT_EQ(m->bFirstCompare, !c.result);
}

INSTANTIATE_TEST_SUITE_P(Failures, FeedFailureTest,
                         testing::Values(FailureCase{-1, false}, FailureCase{9, true}));

struct TwoCursorsCase {
  bool rootFails;
  bool docsFails;
  bool result;
  int requests;
};

class FeedTwoCursorsTest : public ChangeFeedTest,
                           public testing::WithParamInterface<TwoCursorsCase> {};

TEST_P(FeedTwoCursorsTest, TheAnswerIsThatOfTheLastCursorRead) {
  const TwoCursorsCase& c = GetParam();
  const auto m = start();
  m->syncdb().insert_total_version("/docs/");
  int requests = 0;
  api_.on("POST", "/1/file/compare", [&](const test::FakeCall& call) {
    ++requests;
    const bool fails = call.param("fullpath") == "/" ? c.rootFails : c.docsFails;
    if (fails) return test::FakeReply::error(500, 50000, "down");
    return test::FakeReply::json({{"dateline", 5}, {"id", 9}, {"list", nlohmann::json::array()}});
  });
  EXPECT_EQ(m->receive_from_server(), c.result);
  EXPECT_EQ(requests, c.requests);
  EXPECT_EQ(storedCursor(*m, "/docs/").ullIndex, c.docsFails ? 0U : 9U);
}

INSTANTIATE_TEST_SUITE_P(Cursors, FeedTwoCursorsTest,
                         testing::Values(TwoCursorsCase{true, false, true, 11},
                                         TwoCursorsCase{false, true, false, 11},
                                         TwoCursorsCase{false, false, true, 2}));

TEST_F(ChangeFeedTest, OfflineOrWithoutCursorsNothingIsAsked) {
  const auto m = start();
  api_.clearCalls();
  app().setLinkNetwork(false);
  EXPECT_FALSE(m->receive_from_server());
  app().setLinkNetwork(true);
  // A cursor list whose only cursor is not stored is skipped whole.
  const auto window = app().addWindow(kMountId, "");
  EXPECT_FALSE(m->receive_server_version({SyncVersion{"/nowhere/", 0, 0, false}}, true, false));
  EXPECT_FALSE(m->receive_server_version({}, true, false));
  EXPECT_EQ(api_.callsTo("/1/file/compare").size(), 0U);
  EXPECT_TRUE(window->events().empty());
}

struct FolderGoneCase {
  const char* name;
  int64_t linkType;  // 0: not linked
  bool localKept;
  bool rowsKept;
};

class FeedFolderGoneTest : public ChangeFeedTest,
                           public testing::WithParamInterface<FolderGoneCase> {};

// The server answers 40402 for a folder cursor once the folder is gone.
TEST_P(FeedFolderGoneTest, AFolderGoneFromTheServerDropsItsState) {
  const FolderGoneCase& c = GetParam();
  addServerFolder("docs");
  if (c.linkType != 0) linkFolder("docs", "Docs", c.linkType);
  const auto m = start();
  plant(*m, "docs", SyncStatus::kSynced, true);
  const SyncFileItem file = plant(*m, "docs/a.txt", SyncStatus::kDownloadPending);
  m->ADD_Download(file, local("Docs/a.txt").string(), true, 0);
  m->Add_Upload(plant(*m, "docs/b.txt", SyncStatus::kUploadPending),
                local("Docs/b.txt").string(), true, "docs/b.txt");
  plant(*m, "other.txt", SyncStatus::kSynced);
  removeServer("docs");
  if (!c.localKept) removeLocal("Docs");
  const auto window = app().addWindow(kMountId, "");

  EXPECT_TRUE(m->receive_server_version({SyncVersion{"/docs/", 0, 0, false}}, false, false));
  const test::Rows rows = storeRows();
  EXPECT_EQ(rows.count("docs/a.txt"), c.rowsKept ? 1U : 0U);
  EXPECT_EQ(rows.count("other.txt"), 1U);
  TransPortDB& transfers = TransPortDB::shareTransPortDB();
  EXPECT_EQ(transfers.GetTransInfo("docs/a.txt", kMountId).nIndex != 0, c.rowsKept);
  // Only a backup link gives up the local side's uploads.
  const bool uploadKept = c.rowsKept || c.linkType != LinkType::kBackup;
  EXPECT_EQ(transfers.Get_Upload(kMountId, "docs/b.txt").nIndex != 0, uploadKept);
  EXPECT_TRUE(window->events().empty());
  EXPECT_EQ(network().count("SendCallbackAction"), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Links, FeedFolderGoneTest,
    testing::Values(FolderGoneCase{"sync link", LinkType::kSync, true, false},
                    FolderGoneCase{"no link", 0, true, false},
                    FolderGoneCase{"backup link, local folder there", LinkType::kBackup, true, true},
                    FolderGoneCase{"backup link, local folder gone", LinkType::kBackup, false, false}));

TEST_F(ChangeFeedTest, TheLibraryGoneChangesNothing) {
  const auto m = start();
  plant(*m, "a.txt", SyncStatus::kSynced);
  api_.fail("/1/file/compare", FakeFault::errorCode(40402, 404));
  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(storeRows().size(), 1U);
  EXPECT_EQ(app().count("lastUpdateDatelineForLaunchpad"), 0U);
}

TEST_F(ChangeFeedTest, ClosingNoticesTellWhatChanged) {
  const auto m = start();
  ASSERT_EQ(tree().putFile("gone.txt", std::string(40, 'd'), 1, {}), test::FakeTreeError::None);
  ASSERT_EQ(tree().putFile("again.txt", std::string(40, 'e'), 1, {}), test::FakeTreeError::None);
  cursorAtFeedEnd(*m);
  plant(*m, "gone.txt", SyncStatus::kServerOnly);
  plant(*m, "again.txt", SyncStatus::kSynced);
  const auto top = app().addWindow(kMountId, "");
  const auto elsewhere = app().addWindow(kMountId, "sub");
  removeServer("gone.txt");
  ASSERT_EQ(tree().announce("again.txt", -1), test::FakeTreeError::None);

  // The re-upload request has no local copy, cached copy or upload record:
  // it queues nothing, so no list is told to reload.
  EXPECT_TRUE(m->receive_from_server());
  ASSERT_EQ(top->events().size(), 1U);
  EXPECT_EQ(top->events()[0].name(), "UpdateFileList");
  EXPECT_TRUE(elsewhere->events().empty());
  const auto calls = app().calls();
  const std::string notice = "{\"mount_id\":7,\"dateline\":" +
                             std::to_string(clock().wallSeconds()) + ",\"count\":2}";
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       test::FakeAppState::Call{"lastUpdateDatelineForLaunchpad", notice}),
            1);
  EXPECT_EQ(network().count("SendCallbackAction"), 0U);

  // A pass without items sends neither.
  app().clear();
  EXPECT_TRUE(m->receive_from_server());
  EXPECT_EQ(app().count("lastUpdateDatelineForLaunchpad"), 0U);
  EXPECT_EQ(top->events().size(), 1U);
}

}  // namespace
}  // namespace nb
