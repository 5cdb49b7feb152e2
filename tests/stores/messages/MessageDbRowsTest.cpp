#include <stdexcept>

#include <gtest/gtest.h>

#include <sqlcipher/sqlite3.h>

#include "foundation/json/Json.h"
#include "stores/common/StoreBatch.h"
#include "stores/messages/MessageDbTestSupport.h"

namespace nb {
namespace {

class MessageDbRows : public test::MessageDbFixture {
 protected:
  Dialog dialog(std::string_view json) {
    return BaseForJosnOrObject::init<Dialog>(objectFromJSONString(json).value_or(JsonValue()));
  }
  DialogMember member(const std::string& dialogid, std::int64_t id, const std::string& name) {
    DialogMember m;
    m.strDialogID = dialogid;
    m.nMemberID = id;
    m.strMemberName = name;
    return m;
  }
  DialogMessage message(const std::string& dialogid, const std::string& id, std::uint64_t time,
                        const std::string& content = "") {
    DialogMessage m;
    m.strDialogID = dialogid;
    m.strID = id;
    m.ullDateline = time;
    m.strContent = content;
    return m;
  }
  std::vector<std::uint64_t> times(const std::vector<DialogMessage>& messages) {
    std::vector<std::uint64_t> out;
    for (const auto& m : messages) out.push_back(m.ullDateline);
    return out;
  }
};

TEST_F(MessageDbRows, UpsertReplacesEveryColumnStickyIncluded) {
  db().addDialog(dialog(R"({"id":"d1","name":"first","unread_count":3,"property":{"a":1}})"));
  db().updateDialogSticky("d1", 9);
  EXPECT_EQ(db().getDialog("d1").ullSticky, 9u);
  db().addDialog(dialog(R"({"id":"d1","name":"second","ent_id":4,"dateline":7})"));
  const Dialog d = db().getDialog("d1");
  EXPECT_EQ(d.strName, "second");
  EXPECT_EQ(d.ullSticky, 0u);
  EXPECT_EQ(d.nUnread, 0);
  EXPECT_EQ(d.strProperty, "");
  EXPECT_EQ(d.nEntID, 4);
  EXPECT_EQ(d.ullDateline, 7u);
  EXPECT_EQ(db().getDialogs().size(), 1u);
}

TEST_F(MessageDbRows, LargeCountsAndIdsComeBackWhole) {
  db().addDialog(dialog(R"({"id":"d1","unread_count":3000000000})"));
  EXPECT_EQ(db().getDialog("d1").nUnread, 3000000000);
  db().addDialogMember(member("d1", 3000000001, "big"));
  EXPECT_EQ(db().getDialogMember("d1", 3000000001).nMemberID, 3000000001);
}

TEST_F(MessageDbRows, PartialUpdateTable) {
  struct Case {
    const char* json;
    const char* name;
    std::uint64_t sticky;
    const char* property;
  };
  const Case cases[] = {
      {R"({"id":"d1","name":"it's"})", "it's", 0, R"({"a":1})"},
      {R"({"id":"d1","sticky_dateline":5})", "orig", 5, R"({"a":1})"},
      {R"({"id":"d1"})", "orig", 0, R"({"a":1})"},
      {R"({"id":"d1","property":[1,"x"]})", "orig", 0, R"([1,"x"])"},
      {R"({"id":"d1","property":7})", "orig", 0, R"({"a":1})"},
      {R"({"id":"d1","name":"x'); drop table dialog_list; --"})", "x'); drop table dialog_list; --", 0,
       R"({"a":1})"},
      {R"(["id","d1"])", "orig", 0, R"({"a":1})"},
  };
  for (const Case& c : cases) {
    db().addDialog(dialog(R"({"id":"d1","name":"orig","property":{"a":1}})"));
    db().updateDialog(c.json);
    const Dialog d = db().getDialog("d1");
    EXPECT_EQ(d.strName, c.name) << c.json;
    EXPECT_EQ(d.ullSticky, c.sticky) << c.json;
    EXPECT_EQ(d.strProperty, c.property) << c.json;
  }
  db().updateDialog(R"({"id":"d9","name":"never"})");
  EXPECT_EQ(db().getDialogs().size(), 1u);
  db().updateDialog(R"({"id":"d1","dateline":"12","unread_count":2,"last_message":"{}"})");
  EXPECT_EQ(db().getDialog("d1").ullDateline, 12u);
  EXPECT_EQ(db().getDialog("d1").nUnread, 2);
  EXPECT_EQ(db().getDialog("d1").strLastMessage, "{}");
}

TEST_F(MessageDbRows, DeleteDialogTakesMembersAndMessagesEvenWithoutItsRow) {
  db().addDialog(dialog(R"({"id":"d1"})"));
  db().addDialog(dialog(R"({"id":"d2"})"));
  db().addDialogMember(member("d1", 1, "a"));
  db().addDialogMember(member("d2", 1, "a"));
  db().addDialogMessage(message("d1", "m1", 10));
  db().addDialogMessage(message("d2", "m2", 10));
  db().deleteDialog("d1");
  db().addDialogMember(member("d1", 2, "b"));
  db().addDialogMessage(message("d1", "m3", 10));
  db().deleteDialog("d1");  // no dialog_list row any more
  EXPECT_EQ(db().getDialog("d1").strDialogID, "");
  EXPECT_TRUE(db().getDialogMembers("d1").empty());
  EXPECT_TRUE(db().getDialogMessages("d1", 0, 0, false).empty());
  EXPECT_EQ(db().getDialogMembers("d2").size(), 1u);
  EXPECT_EQ(db().getDialogMessages("d2", 0, 0, false).size(), 1u);
}

TEST_F(MessageDbRows, MissingDialogReadsAsInitialRecord) {
  const Dialog d = db().getDialog("nope");
  EXPECT_EQ(d.strDialogID, "");
  EXPECT_EQ(d.ullDateline, 0u);
  EXPECT_EQ(db().getDialogSettingDateline("nope"), 0u);
  EXPECT_EQ(db().getLastMessageDateline("nope"), 0u);
}

TEST_F(MessageDbRows, SearchDialogsUsesLikeRules) {
  db().addDialogs({dialog(R"({"id":"1","name":"Alpha"})"), dialog(R"({"id":"2","name":"beta"})"),
                   dialog(R"({"id":"3","name":"it's"})")});
  EXPECT_EQ(db().searchDialogs("A").size(), 2u);
  EXPECT_EQ(db().searchDialogs("%").size(), 3u);
  EXPECT_EQ(db().searchDialogs("'").size(), 1u);
  EXPECT_EQ(db().searchDialogs("zz").size(), 0u);
}

TEST_F(MessageDbRows, SettingsReadsAndTimes) {
  db().addDialogs({dialog(R"({"id":"d1"})"), dialog(R"({"id":"d2"})")});
  db().updateDialogSetting("d1", 5, R"({"mute":1})");
  EXPECT_EQ(db().getDialogSettingDateline("d1"), 5u);
  EXPECT_EQ(db().getDialog("d1").strSetting, R"({"mute":1})");
  DialogSetting s;
  s.strDialogID = "d2";
  s.ullDateline = 6;
  s.strSetting = "x";
  DialogRead r;
  r.strDialogID = "d2";
  r.ullDateline = 8;
  db().updateDialogSettings({s});
  db().updateDialogReads({r});
  db().updateLastMessageDateline("d2", 11);
  const Dialog d2 = db().getDialog("d2");
  EXPECT_EQ(d2.ullSettingDateline, 6u);
  EXPECT_EQ(d2.strSetting, "x");
  EXPECT_EQ(d2.ullReadMessageDateline, 8u);
  EXPECT_EQ(db().getLastMessageDateline("d2"), 11u);
}

TEST_F(MessageDbRows, MembersUpsertPageAndDelete) {
  db().addDialogMember(member("d1", 7, "first"));
  DialogMember second = member("d1", 7, "second");
  second.strAvatar = "a.png";
  second.ullJoinDateline = 4;
  second.strProperty = "p";
  db().addDialogMember(second);
  auto all = db().getDialogMembers("d1");
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].strMemberName, "second");
  EXPECT_EQ(all[0].strAvatar, "a.png");
  EXPECT_EQ(all[0].ullJoinDateline, 4u);
  EXPECT_EQ(all[0].strProperty, "p");

  db().addDialogMembers({member("d1", 8, "b"), member("d1", 9, "c"), member("d2", 7, "x")});
  struct Page {
    std::int64_t start, count;
    size_t size;
  };
  for (const Page p : {Page{0, 2, 2}, Page{3, 10, 0}, Page{0, 0, 0}, Page{1, -1, 2}}) {
    EXPECT_EQ(db().getDialogMembers("d1", p.start, p.count).size(), p.size)
        << p.start << "," << p.count;
  }
  db().deleteDialogMember("d1", 7);
  EXPECT_EQ(db().getDialogMember("d2", 7).strMemberName, "x");
  const DialogMember gone = db().getDialogMember("d1", 7);
  EXPECT_EQ(gone.strDialogID, "");
  EXPECT_EQ(gone.nMemberID, 0);
  db().deleteDialogMembers("d1", {JsonValue(8), JsonValue("9")});
  EXPECT_TRUE(db().getDialogMembers("d1").empty());
  db().deleteDialogAllMembers("d2");
  EXPECT_TRUE(db().getDialogMembers("d2").empty());
}

// One dialog holding messages at 10, 20, 30 and 40.
TEST_F(MessageDbRows, PagedReadByTime) {
  db().addDialogMessages({message("d1", "a", 30), message("d1", "b", 10), message("d1", "c", 40),
                          message("d1", "d", 20), message("d2", "e", 25)});
  struct Case {
    bool before;
    std::uint64_t time;
    std::int64_t count;
    std::vector<std::uint64_t> expected;
  };
  const Case cases[] = {
      {true, 35, 2, {20, 30}},     {true, 35, 0, {10, 20, 30}}, {false, 15, 2, {30, 40}},
      {false, 15, 0, {20, 30, 40}}, {false, 20, 0, {30, 40}},   {false, 0, 1, {40}},
      {true, 10, 5, {}},            {false, 0, 20, {10, 20, 30, 40}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(times(db().getDialogMessages("d1", c.time, c.count, c.before)), c.expected)
        << c.before << " " << c.time << " " << c.count;
  }
}

TEST_F(MessageDbRows, MessageUpsertIsKeyedByIdAlone) {
  db().addDialogMessage(message("d1", "m1", 10, "first"));
  db().addDialogMessage(message("d1", "m1", 11, "second"));
  auto got = db().getDialogMessages("d1", 0, 0, false);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].strContent, "second");
  EXPECT_EQ(got[0].ullDateline, 11u);

  db().addDialogMessage(message("d2", "m1", 12, "other dialog"));
  EXPECT_TRUE(db().getDialogMessages("d2", 0, 0, false).empty());
  EXPECT_EQ(db().getDialogMessages("d1", 0, 0, false)[0].strContent, "second");
}

TEST_F(MessageDbRows, SearchDeleteAndUpdateMessages) {
  std::vector<DialogMessage> many;
  for (int i = 0; i < 600; ++i) many.push_back(message("d1", "m" + std::to_string(i), i, "hello"));
  db().addDialogMessages(many);
  db().addDialogMessage(message("d2", "q", 1, "it's HELLO"));
  EXPECT_EQ(db().searchDialogMessages("hello", 500).size(), 500u);
  EXPECT_EQ(db().searchDialogMessages("hello", 0).size(), 601u);
  EXPECT_EQ(db().searchDialogMessages("'", 500).size(), 1u);
  EXPECT_EQ(db().searchDialogMessages("d2", "hello", 0).size(), 1u);
  EXPECT_EQ(db().searchDialogMessages("d1", "hel", 3).size(), 3u);

  db().updateDialogMessageState("d2", "q", 2);
  db().updateDialogMessageDateline("d2", "q", 99);
  auto q = db().getDialogMessages("d2", 0, 0, false);
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].nState, 2);
  EXPECT_EQ(q[0].ullDateline, 99u);

  db().addDialog(BaseForJosnOrObject::init<Dialog>(JsonValue::object({{"id", "d1"}})));
  db().addDialogMember(member("d1", 1, "a"));
  db().deleteDialogMessage("d1", "m0");
  db().deleteDialogMessages("d1", std::vector<std::string>{"m1", "m2"});
  EXPECT_EQ(db().getDialogMessages("d1", 0, 0, false).size(), 597u);
  db().deleteDialogMessages("d1");
  EXPECT_TRUE(db().getDialogMessages("d1", 0, 0, false).empty());
  EXPECT_EQ(db().getDialog("d1").strDialogID, "d1");
  EXPECT_EQ(db().getDialogMembers("d1").size(), 1u);
}

TEST_F(MessageDbRows, AddMessagesUnderOneDialogRewritesTheirDialog) {
  std::vector<DialogMessage> items{message("x", "m1", 1), message("y", "m2", 2)};
  db().addDialogMessages("d1", items);
  EXPECT_EQ(items[1].strDialogID, "d1");
  EXPECT_EQ(db().getDialogMessages("d1", 0, 0, false).size(), 2u);
}

// An element the batch cannot handle skips the rest, and the transaction
// still ends: left open it would swallow every later write of the store.
TEST_F(MessageDbRows, BatchWithAFailingElementLeavesNoOpenTransaction) {
  const std::vector<std::string> ids{"d1", "bad", "d3"};
  db().inDatabase([&](FMDatabase& conn) {
    inBatch(conn, ids, [&](const std::string& id) {
      if (id == "bad") throw std::runtime_error("element refused");
      conn.executeUpdateRetry("insert into dialog_list (dialogid) values (?);", {id});
    });
    EXPECT_FALSE(conn.inTransaction());
    EXPECT_NE(sqlite3_get_autocommit(conn.sqliteHandle()), 0);
  });
  db().addDialog(dialog(R"({"id":"d4"})"));  // a later write lands on its own

  db_ = open();  // what reached the file
  std::vector<std::string> stored;
  for (const auto& d : db().getDialogs()) stored.push_back(d.strDialogID);
  EXPECT_EQ(stored, (std::vector<std::string>{"d1", "d4"}));
}

}  // namespace
}  // namespace nb
