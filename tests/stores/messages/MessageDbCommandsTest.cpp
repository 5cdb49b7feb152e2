#include <algorithm>

#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "stores/messages/MessageDbTestSupport.h"
#include "stores/messages/SocketParseMessage.h"

namespace nb {
namespace {

constexpr const char* kAllCommands[] = {
    "adddialogs", "adddialog",  "updatedialog",   "getdialog",  "getdialogs",
    "searchdialogs", "deldialog", "addmessages",  "addmessage", "getmessages",
    "searchmessages", "delmessage", "delallmessages", "setsticky", "addmember",
    "getmember",  "getmembers", "delmember",      "setdialogsetting"};

// Records the items the parser's effect saw.
class RecordingParser : public SocketParseMessage {
 public:
  std::string perform(const SocketActionItem& item, BaseController* controller) override {
    acts.push_back(item.strAct);
    controllers.push_back(controller);
    return R"({"error":0,"message":"handled"})";
  }
  std::vector<std::string> acts;
  std::vector<BaseController*> controllers;
};

class MessageDbCommands : public test::MessageDbFixture {
 protected:
  void SetUp() override {
    MessageDbFixture::SetUp();
    SocketParseMessage::setShared(parser_);
  }
  void TearDown() override {
    SocketParseMessage::setShared(nullptr);
    MessageDbFixture::TearDown();
  }
  std::string run(const char* cmd, std::string_view json, MessageDb* store) {
    return MessageDb::action(store, JsonValue(cmd), JsonValue(json), controller());
  }
  std::string run(const char* cmd, std::string_view json) { return run(cmd, json, db_.get()); }
  JsonValue list(const char* cmd, std::string_view json) {
    const auto answer = objectFromJSONString(run(cmd, json));
    EXPECT_TRUE(answer && (*answer)["list"].isArray()) << cmd << " " << json;
    return answer ? (*answer)["list"] : JsonValue();
  }
  BaseController* controller() { return reinterpret_cast<BaseController*>(&controllerTag_); }

  std::shared_ptr<RecordingParser> parser_ = std::make_shared<RecordingParser>();
  int controllerTag_ = 0;
};

TEST_F(MessageDbCommands, MalformedCallsTable) {
  const std::string general = MessageDb::action(db_.get(), JsonValue(5), JsonValue("{}"), nullptr);
  EXPECT_EQ(general.rfind("参数格式 (\"cmd\",\"json\")\r\n cmd的值如下:\r\n", 0), 0u);
  EXPECT_TRUE(general.ends_with("\r\n delmember:删除一个讨论组成员\r\n"
                               " setdialogsetting:设置一个讨论组提显机制\r\n"));
  EXPECT_EQ(std::count(general.begin(), general.end(), '\n'), 20);
  EXPECT_EQ(run("ADDDIALOG", "{}"), "{}");
  EXPECT_EQ(run("nosuch", "{}"), "{}");

  for (const char* cmd : kAllCommands) {
    const std::string notText = MessageDb::action(db_.get(), JsonValue(cmd), JsonValue(1), nullptr);
    if (std::string_view(cmd) == "getdialogs") {
      EXPECT_EQ(notText, R"({"list":[]})");
      continue;
    }
    EXPECT_NE(notText.find(std::string("(\"") + cmd + "\",\"json\")\r\n"), std::string::npos) << cmd;
    EXPECT_EQ(notText.substr(notText.size() - 2), "\r\n") << cmd;
    if (std::string_view(cmd) == "updatedialog") continue;
    for (const char* bad : {"", "[1,2]", "{broken", "\"text\""}) {
      EXPECT_EQ(run(cmd, bad), "{}") << cmd << " " << bad;
    }
  }
  EXPECT_TRUE(db().getDialogs().empty());
}

// An empty object is a well-formed call: each command answers its own kind of
// answer and reads every missing key as "" or 0.
TEST_F(MessageDbCommands, EmptyObjectTable) {
  for (const char* cmd : kAllCommands) {
    const std::string answer = run(cmd, "{}");
    const auto parsed = objectFromJSONString(answer);
    ASSERT_TRUE(parsed && parsed->isObject()) << cmd << " " << answer;
    const std::string_view name(cmd);
    if (name == "getdialogs" || name == "getmessages" || name == "getmembers" ||
        name == "searchmessages") {
      EXPECT_TRUE((*parsed)["list"].isArray()) << cmd;
    } else if (name == "getdialog") {
      EXPECT_EQ((*parsed)["id"].asString(), "");
    } else if (name == "getmember") {
      EXPECT_EQ((*parsed)["member_id"].asInt64(), 0);
    } else {
      EXPECT_EQ(answer, "{}") << cmd;
    }
  }
}

TEST_F(MessageDbCommands, UsageTextsOfSomeCommandsInFull) {
  EXPECT_EQ(MessageDb::action(nullptr, JsonValue("getmessages"), JsonValue(), nullptr),
            "得到消息信息 (\"getmessages\",\"json\")\r\n"
            "json格式 {\"dialog_id\":\"df\",\"dateline\":171261212,\"count\":100,\"direction\":\"up\"}\r\n"
            " dialog_id:讨论组id\r\n"
            " dateline:消息的起始位置\r\n"
            " count:个数 0时为拿所有\r\n"
            " direction:为up是为拿时间之前，默认为拿时间之后\r\n");
  EXPECT_EQ(MessageDb::action(nullptr, JsonValue("updatedialog"), JsonValue(), nullptr),
            "添加一个讨论组 (\"updatedialog\",\"json\")\r\njson格式 为服务器上讨论组的json格式\r\n");
}

TEST_F(MessageDbCommands, DialogCommands) {
  EXPECT_EQ(run("adddialogs", R"({"list":[{"id":"d1","name":"Alpha"},{"id":"d2","name":"beta","creator":5}]})"), "{}");
  EXPECT_EQ(run("adddialogs", R"({"list":{"id":"d3"}})"), "{}");
  EXPECT_EQ(run("adddialog", R"({"id":"d3","name":"gamma"})"), "{}");
  EXPECT_EQ(list("getdialogs", "").size(), 3u);
  EXPECT_EQ(MessageDb::action(db_.get(), JsonValue("getdialogs"), JsonValue(), nullptr),
            run("getdialogs", "not json"));

  EXPECT_EQ(run("updatedialog", R"({"id":"d1","name":"Al'pha"})"), "{}");
  EXPECT_EQ(run("updatedialog", "garbage"), "{}");
  const auto d1 = objectFromJSONString(run("getdialog", R"({"dialog_id":"d1"})"));
  ASSERT_TRUE(d1);
  EXPECT_EQ((*d1)["name"].asString(), "Al'pha");
  const auto none = objectFromJSONString(run("getdialog", R"({"dialog_id":"zz"})"));
  ASSERT_TRUE(none);
  EXPECT_EQ((*none)["id"].asString(), "");
  EXPECT_EQ((*none)["dateline"].asInt64(), 0);

  EXPECT_EQ(run("searchdialogs", R"({"key":""})"), "{}");
  EXPECT_EQ(run("searchdialogs", R"({})"), "{}");
  EXPECT_EQ(list("searchdialogs", R"({"key":"A"})").size(), 3u);  // Alpha, beta, gamma
  EXPECT_EQ(list("searchdialogs", R"({"key":"'"})").size(), 1u);

  EXPECT_EQ(run("setsticky", R"({"dialog_id":"d2","dateline":"121212121212"})"), "{}");
  EXPECT_EQ(db().getDialog("d2").ullSticky, 121212121212u);
  EXPECT_EQ(run("setdialogsetting", R"({"dialog_id":"d2","setting":{"m":1},"setting_dateline":9})"), "{}");
  EXPECT_EQ(db().getDialog("d2").strSetting, R"({"m":1})");
  EXPECT_EQ(db().getDialogSettingDateline("d2"), 0u);
  EXPECT_EQ(run("setdialogsetting", R"({"dialog_id":"d2","setting":"s","read_dateline":9})"), "{}");
  EXPECT_EQ(db().getDialogSettingDateline("d2"), 9u);

  EXPECT_EQ(run("deldialog", R"({"dialog_id":"d3"})"), "{}");
  EXPECT_EQ(list("getdialogs", "{}").size(), 2u);
}

TEST_F(MessageDbCommands, MemberCommands) {
  EXPECT_EQ(run("addmember", R"({"dialog_id":"d1","member_id":7,"name":"x"})"), "{}");
  EXPECT_EQ(run("addmember", R"({"dialog_id":"d1","member_id":"8","name":"y"})"), "{}");
  const JsonValue members = list("getmembers", R"({"dialog_id":"d1","start":0,"count":100})");
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0]["dialog_id"].asString(), "d1");
  EXPECT_EQ(members[0]["member_id"].asInt64(), 7);
  EXPECT_EQ(list("getmembers", R"({"dialog_id":"d1"})").size(), 0u);
  EXPECT_EQ(list("getmembers", R"({"dialog_id":"d1","start":"1","count":"5"})").size(), 1u);

  const auto m = objectFromJSONString(run("getmember", R"({"dialog_id":"d1","member_id":8})"));
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["name"].asString(), "y");
  const auto absent = objectFromJSONString(run("getmember", R"({"dialog_id":"d1","member_id":9})"));
  ASSERT_TRUE(absent);
  EXPECT_EQ((*absent)["member_id"].asInt64(), 0);
  EXPECT_EQ((*absent)["dialog_id"].asString(), "");

  EXPECT_EQ(run("delmember", R"({"dialog_id":"d1","member_id":7})"), "{}");
  EXPECT_EQ(list("getmembers", R"({"dialog_id":"d1","count":-1})").size(), 1u);
}

TEST_F(MessageDbCommands, MessageCommandsGoThroughTheParser) {
  std::string many = R"({"list":[)";
  for (int t = 1; t <= 30; ++t) {
    if (t > 1) many += ',';
    many += R"({"dialog_id":"d1","id":"m)" + std::to_string(t) + R"(","dateline":)" +
            std::to_string(t * 10) + R"(,"act":"msg","content":"hello )" + std::to_string(t) +
            R"(","file":{"f":1},"permission":[1]})";
  }
  many += "]}";
  EXPECT_EQ(run("addmessages", many), "{}");
  EXPECT_EQ(run("addmessages", R"({"list":"x"})"), "{}");
  EXPECT_EQ(run("addmessage", R"({"dialog_id":"d1","id":"fav","act":"favorite","dateline":5})"), "{}");
  EXPECT_EQ(run("addmessage", R"({"dialog_id":"d1","id":"sys","act":"api_member","type":"sys_in"})"), "{}");
  EXPECT_EQ(run("addmessage", R"({"dialog_id":"d1","id":"usr","act":"api_member","type":"user","dateline":1})"), "{}");
  ASSERT_EQ(parser_->acts.size(), 33u);
  EXPECT_EQ(parser_->acts[30], "favorite");
  EXPECT_EQ(parser_->controllers[0], controller());

  const auto all = db().getDialogMessages("d1", 0, 0, false);
  ASSERT_EQ(all.size(), 31u);  // 30 messages and the api_member one of a user
  EXPECT_EQ(all[0].strID, "usr");
  EXPECT_EQ(all[1].strFile, R"({"f":1})");
  EXPECT_EQ(all[1].strPermission, "[1]");

  const JsonValue newest = list("getmessages", R"({"dialog_id":"d1","dateline":0,"count":20})");
  ASSERT_EQ(newest.size(), 20u);
  EXPECT_EQ(newest[0]["dateline"].asInt64(), 110);
  EXPECT_EQ(newest[19]["dateline"].asInt64(), 300);
  EXPECT_EQ(list("getmessages", R"({"dialog_id":"d1","dateline":250,"count":0})").size(), 5u);
  EXPECT_EQ(list("getmessages", R"({"dialog_id":"d1","dateline":250,"direction":"down"})").size(), 5u);
  const JsonValue older =
      list("getmessages", R"({"dialog_id":"d1","dateline":250,"count":3,"direction":"up"})");
  ASSERT_EQ(older.size(), 3u);
  EXPECT_EQ(older[0]["dateline"].asInt64(), 220);
  EXPECT_EQ(older[2]["dateline"].asInt64(), 240);

  EXPECT_EQ(list("searchmessages", R"({"key":"hello 1"})").size(), 11u);  // 1, 10-19
  EXPECT_EQ(list("searchmessages", R"({})").size(), 0u);
  EXPECT_EQ(run("delmessage", R"({"dialog_id":"d1","id":"m1"})"), "{}");
  EXPECT_EQ(list("searchmessages", R"({"key":"hello 1"})").size(), 10u);
  EXPECT_EQ(run("delallmessages", R"({"dialog_id":"d1"})"), "{}");
  EXPECT_EQ(list("getmessages", R"({"dialog_id":"d1","dateline":0})").size(), 0u);
}

TEST_F(MessageDbCommands, SearchCapsAtFiveHundred) {
  std::string many = R"({"list":[)";
  for (int i = 0; i < 600; ++i) {
    if (i > 0) many += ',';
    many += R"({"dialog_id":"d1","id":"m)" + std::to_string(i) + R"(","content":"x"})";
  }
  many += "]}";
  run("addmessages", many);
  EXPECT_EQ(list("searchmessages", R"({"key":"x"})").size(), 500u);
}

TEST_F(MessageDbCommands, WithoutAStore) {
  for (const char* cmd : {"adddialogs", "adddialog", "updatedialog", "deldialog", "addmessages",
                          "addmessage", "delmessage", "delallmessages", "setsticky", "addmember",
                          "delmember", "setdialogsetting"}) {
    EXPECT_EQ(run(cmd, R"({"list":[{"id":"a"}],"dialog_id":"d1","id":"a"})", nullptr), "{}") << cmd;
  }
  for (const char* cmd : {"getdialogs", "getmessages", "getmembers", "searchmessages"}) {
    EXPECT_EQ(run(cmd, R"({"dialog_id":"d1","key":"a","count":5})", nullptr), R"({"list":[]})") << cmd;
  }
  EXPECT_EQ(run("searchdialogs", R"({"key":"a"})", nullptr), R"({"list":[]})");
  EXPECT_EQ(run("getdialog", R"({"dialog_id":"d1"})", nullptr), "");
  EXPECT_EQ(run("getmember", R"({"dialog_id":"d1","member_id":1})", nullptr), "");
  EXPECT_EQ(parser_->acts.size(), 2u);  // the parser's effects still run
}

TEST(SocketActionItem, FillsAndChanges) {
  const auto item = BaseForJosnOrObject::init<SocketActionItem>(*objectFromJSONString(
      R"({"type":"user","act":"msg","content":"hi","sender":42,"id":7,"dialog_id":null,
          "dateline":"99","file":{"n":"a"},"at":["u"],"property":"text","metadata":5})"));
  EXPECT_EQ(item.strSender, "42");
  EXPECT_EQ(item.strID, "7");
  EXPECT_EQ(item.strDialogID, "");
  EXPECT_EQ(item.ullDateline, 99u);
  EXPECT_TRUE(item.dicFile.isObject());
  EXPECT_TRUE(item.dicPermission.isNull());
  const DialogMessage m = item.change();
  EXPECT_EQ(m.strFile, R"({"n":"a"})");
  EXPECT_EQ(m.strAt, R"(["u"])");
  EXPECT_EQ(m.strProperty, "");
  EXPECT_EQ(m.strMetadata, "");
  EXPECT_EQ(m.strPermission, "");
  EXPECT_EQ(m.strSender, "42");
  EXPECT_EQ(m.ullDateline, 99u);
  EXPECT_EQ(m.nState, 0);

  struct Case {
    const char* act;
    const char* type;
    bool stored;
  };
  for (const Case c : {Case{"msg", "", true}, Case{"api_ent", "", false}, Case{"favorite", "", false},
                       Case{"offline", "x", false}, Case{"api_member", "sys_in", false},
                       Case{"api_member", "user", true}, Case{"", "", true}}) {
    SocketActionItem i;
    i.strAct = c.act;
    i.strType = c.type;
    EXPECT_EQ(SocketParseMessage::storesMessage(i), c.stored) << c.act << " " << c.type;
  }
  EXPECT_EQ(SocketParseMessage::parse(item, nullptr, nullptr), R"({"error":0,"message":""})");
}

}  // namespace
}  // namespace nb
