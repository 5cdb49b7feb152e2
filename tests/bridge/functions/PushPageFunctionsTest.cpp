// Pushed messages a page relays, against the session's message store and
// catalogue, the sync centre's flags and the fake service.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "bridge/functions/PageWorld.h"
#include "bridge/push/SocketParseActions.h"
#include "foundation/util/UtilStatus.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/messages/MessageDb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {
namespace {

constexpr const char* kHash = "0123456789abcdef0123456789abcdef01234567";

class PushPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    center().setBRegetServer(false);
  }
  void TearDown() override {
    SocketParseActions::setShortcutsCheck(nullptr);
    SocketParseMessage::setShared(nullptr);
    center().setBRegetServer(false);
    center().setBSocketIO(false);
    PageWorld::TearDown();
  }

  std::optional<std::string> push(const std::string& message, const std::string& event = "message",
                                  const std::string& name = "gSocketAction") {
    bridge::PageCall call;
    call.name = name;
    call.args = {message, event};
    call.callbackId = "cb1";
    call.bridge = bridge;
    return bridge::pageHandler(name)(call, *controller);
  }
  // The status code of an answer; -1 for none or no status.
  static std::int64_t code(const std::optional<std::string>& answer) {
    if (!answer) return -1;
    const std::optional<JsonValue> value = dictionaryFromString(*answer);
    return value && value->contains("error") ? jsonInt64(*value, "error") : -1;
  }
  static constexpr std::int64_t kOk = Util::kStatusOk;
  static constexpr std::int64_t kBad = Util::kBadParameters;

  std::vector<DialogMessage> stored() {
    return center().messagedb()->searchDialogMessages("", 0);
  }
};

TEST_F(PushPagesTest, RefreshActsAskForTheLibrariesAndAreStored) {
  EXPECT_EQ(code(push(R"({"act":"join_ent","dialog_id":"d1","id":"m1","content":"hi"})")), kOk);
  EXPECT_TRUE(center().bRegetServer());
  ASSERT_EQ(stored().size(), 1u);
  EXPECT_EQ(stored()[0].strDialogID, "d1");
  EXPECT_EQ(stored()[0].strAct, "join_ent");
}

TEST_F(PushPagesTest, OtherEventsDoNothing) {
  EXPECT_EQ(code(push(R"({"act":"join_ent","dialog_id":"d1","id":"m1"})", "notice")), kOk);
  EXPECT_FALSE(center().bRegetServer());
  EXPECT_TRUE(stored().empty());
}

TEST_F(PushPagesTest, WhatIsStoredByAct) {
  struct Case {
    const char* message;
    bool refresh;
    bool storedAfter;
  };
  const Case cases[] = {
      {R"({"act":"modify_ent"})", false, true},
      {R"({"act":"modify_org","metadata":{"mount_id":7}})", true, true},
      {R"({"act":"quit_group"})", true, true},
      {R"({"act":"modify_member"})", false, true},
      {R"({"act":"something_new"})", false, true},
      {R"({"act":"api_ent"})", false, false},
      {R"({"act":"offline"})", false, false},
      {R"({"act":"favorite","metadata":[]})", false, false},
      {R"({"act":"api_member","type":"other","metadata":{"api":"/1/account/info"}})", false, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    center().setBRegetServer(false);
    const std::size_t before = stored().size();
    const std::string message =
        R"({"id":"m)" + std::to_string(++n) + R"(","dialog_id":"d",)" + (c.message + 1);
    EXPECT_EQ(code(push(message)), kOk);
    EXPECT_EQ(center().bRegetServer(), c.refresh);
    EXPECT_EQ(stored().size(), before + (c.storedAfter ? 1 : 0));
  }
  EXPECT_EQ(callCount("/1/account/info"), 0u);
}

TEST_F(PushPagesTest, ModifyOrgClearsTheLibrarysSpaceFlag) {
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  ASSERT_TRUE(manager());
  manager()->bSpaceMax = true;
  push(R"({"act":"modify_org","metadata":{"mount_id":7}})");
  EXPECT_FALSE(manager()->bSpaceMax);
}

TEST_F(PushPagesTest, SenderAndFileAsStored) {
  push(R"({"act":"x","id":"a","dialog_id":"d","sender":12345,"file":[{"n":1}]})");
  push(R"({"act":"x","id":"b","dialog_id":"d","sender":"9","file":"plain"})");
  const std::vector<DialogMessage> rows = stored();
  ASSERT_EQ(rows.size(), 2u);
  for (const DialogMessage& row : rows) {
    if (row.strID == "a") {
      EXPECT_EQ(row.strSender, "12345");
      EXPECT_EQ(row.strFile, R"([{"n":1}])");
    } else {
      EXPECT_EQ(row.strFile, "");
    }
  }
}

TEST_F(PushPagesTest, FavouriteChangesByAct) {
  Mountsdb& catalogue = Mountsdb::shareMountsdb();
  const std::string other = std::string(kHash).replace(0, 1, "f");
  push(R"({"act":"favorite","metadata":{"act":1,"fav_id":7,"mount_id":7,"hash":")" + std::string(kHash) + "\"}}");
  push(R"({"act":"favorite","metadata":{"act":1,"fav_id":7,"mount_id":7,"hash":")" + other + "\"}}");
  push(R"({"act":"favorite","metadata":{"act":1,"fav_id":8,"mount_id":7,"hash":")" + other + "\"}}");
  EXPECT_EQ(catalogue.getFavorites(7).size(), 2u);
  push(R"({"act":"favorite","metadata":{"act":0,"fav_id":7,"hash":")" + std::string(kHash) + "\"}}");
  EXPECT_EQ(catalogue.getFavorites(7).size(), 1u);
  push(R"({"act":"favorite","metadata":{"act":5,"fav_id":7}})");
  EXPECT_EQ(catalogue.getFavorites(7).size(), 1u);
  push(R"({"act":"favorite","metadata":{"act":2,"mount_id":7,"hash":")" + other + "\"}}");
  EXPECT_TRUE(catalogue.getFavorites(7).empty());
  EXPECT_TRUE(catalogue.getFavorites(8).empty());
  push(R"({"act":"favorite","metadata":{"act":1,"fav_id":7,"mount_id":7,"hash":")" + other + "\"}}");
  push(R"({"act":"favorite","metadata":{"act":-1,"fav_id":7}})");
  EXPECT_TRUE(catalogue.getFavorites(7).empty());
  EXPECT_TRUE(stored().empty());
}

TEST_F(PushPagesTest, AccountNoticeReadsTheAccountOffTheMainThreadAndAnswersAfter) {
  const std::size_t answersBefore = window->functionCalls().size();
  const auto answer = push(R"({"act":"api_member","type":"sys_in","metadata":{"api":"/1/account/info"}})");
  EXPECT_FALSE(answer.has_value());  // the page hears back once the account is applied
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  pumpMainThread();
  EXPECT_EQ(callCount("/1/account/info"), 1u);
  EXPECT_EQ(UserData::shareUserData().userWebName(), user_.name);
  EXPECT_GT(window->functionCalls().size(), answersBefore);
  EXPECT_TRUE(stored().empty());
}

TEST_F(PushPagesTest, ShortcutNoticeGoesToTheRelayingWindow) {
  WebWindowController* seen = nullptr;
  SocketParseActions::setShortcutsCheck([&](WebWindowController& w) { seen = &w; });
  EXPECT_EQ(code(push(R"({"act":"api_member","type":"sys_in","metadata":{"api":"/2/member/get_shortcuts"}})")),
            kOk);
  EXPECT_EQ(seen, controller.get());
  EXPECT_TRUE(stored().empty());
}

TEST_F(PushPagesTest, BadMessagesAndLists) {
  for (const char* bad : {"", "[]", "12", "nope"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(code(push(bad)), kBad);
    EXPECT_EQ(code(push(bad, "message", "gSocketActionList")), kBad);
  }
  EXPECT_EQ(code(push(R"({"list":{}})", "message", "gSocketActionList")), kBad);
  EXPECT_EQ(code(push(R"({"list":[]})", "message", "gSocketActionList")), kOk);
  EXPECT_TRUE(stored().empty());
}

TEST_F(PushPagesTest, ListRunsEachObjectAndSkipsTheRest) {
  EXPECT_EQ(code(push(R"({"list":[{"act":"join_org","id":"a","dialog_id":"d"},7,"x",)"
                 R"({"act":"offline","id":"b","dialog_id":"d"},{"act":"y","id":"c","dialog_id":"d"}]})",
                 "message", "gSocketActionList")),
            kOk);
  EXPECT_TRUE(center().bRegetServer());
  EXPECT_EQ(stored().size(), 2u);  // no blank message for 7 and "x"
}

TEST_F(PushPagesTest, ChannelStateAndCounts) {
  struct Case {
    const char* json;
    bool up;
  };
  const Case cases[] = {{R"({"status":2})", true}, {"[1]", true}, {R"({"status":0})", false},
                        {R"({"status":1})", true}, {R"({})", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    run("gCompareNotifyStatus", c.json);
    EXPECT_EQ(center().bSocketIO(), c.up);
  }
}

TEST_F(PushPagesTest, NoticeOnlyWhenMessagesArePrompted) {
  bridge::PageCall call;
  call.name = "gShowMessageNotice";
  call.args = {std::string("New message"), std::string(R"({"dialog_id":"d"})")};
  app().setPromptMessage(false);
  bridge::pageHandler(call.name)(call, *controller);
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 0u);
  app().setPromptMessage(true);
  EXPECT_FALSE(bridge::pageHandler(call.name)(call, *controller).has_value());
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 1u);
}

}  // namespace
}  // namespace nb::test

namespace nb::test {
namespace {

TEST_F(PushPagesTest, ChannelStateSteersTheLibraryRefresh) {
  runCoordinatorPass();  // the first pass reads the libraries
  const std::size_t first = callCount("/1/account/mount");
  ASSERT_GE(first, 1u);
  run("gCompareNotifyStatus", R"({"status":1})");
  runCoordinatorPassAfter(std::chrono::seconds(61));
  EXPECT_EQ(callCount("/1/account/mount"), first);  // pushes keep it current
  run("gCompareNotifyStatus", R"({"status":0})");
  runCoordinatorPassAfter(std::chrono::seconds(61));
  EXPECT_EQ(callCount("/1/account/mount"), first + 1);
  run("gCompareNotifyStatus", R"({"status":1})");
  runCoordinatorPassAfter(std::chrono::seconds(3601));
  EXPECT_EQ(callCount("/1/account/mount"), first + 2);
}

}  // namespace
}  // namespace nb::test
