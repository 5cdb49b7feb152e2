#include <gtest/gtest.h>

#include "foundation/json/Json.h"
#include "stores/messages/Dialog.h"
#include "stores/messages/DialogMember.h"
#include "stores/messages/DialogMessage.h"
#include "stores/messages/DialogMessageApi.h"
#include "stores/messages/DialogMessageFavorite.h"
#include "stores/messages/DialogMessageOffline.h"
#include "stores/messages/DialogRead.h"
#include "stores/messages/DialogSetting.h"
#include "stores/catalogue/EntRoleEx.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) {
  auto value = objectFromJSONString(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(JsonValue());
}

template <typename Record>
Record from(std::string_view text) {
  return BaseForJosnOrObject::init<Record>(parse(text));
}

TEST(DialogRecords, DialogReadsNumbersAsTextAndTextsAsNumbers) {
  const Dialog d = from<Dialog>(R"({"id":"d1","creator":12345,"dateline":"171261212","name":null,
      "ent_id":9,"unread_count":"3","read_dateline":4,"last_dateline":5,"setting_dateline":6,
      "create_dateline":7,"type":"group"})");
  EXPECT_EQ(d.strDialogID, "d1");
  EXPECT_EQ(d.strCreator, "12345");
  EXPECT_EQ(d.ullDateline, 171261212u);
  EXPECT_EQ(d.strName, "");
  EXPECT_EQ(d.nEntID, 9);
  EXPECT_EQ(d.nUnread, 3);
  EXPECT_EQ(d.ullReadMessageDateline, 4u);
  EXPECT_EQ(d.ullLastMessageDateline, 5u);
  EXPECT_EQ(d.ullSettingDateline, 6u);
  EXPECT_EQ(d.ullCreateTimer, 7u);
  EXPECT_EQ(d.strType, "group");
}

TEST(DialogRecords, NonObjectKeepsInitialValues) {
  const Dialog d = from<Dialog>(R"([{"id":"d1","name":"x"}])");
  EXPECT_EQ(d.strDialogID, "");
  EXPECT_EQ(d.strName, "");
  EXPECT_EQ(d.ullDateline, 0u);
  const DialogMessage m = from<DialogMessage>(R"(["id"])");
  EXPECT_EQ(m.strID, "");
}

// What "property" (text or object, never an array) holds, and whether the
// record's dictionary gives it back.
TEST(DialogRecords, EmbeddedPropertyTable) {
  struct Case {
    const char* json;
    const char* stored;
    const char* writtenBack;  // nullptr: the key is left out
  };
  const Case cases[] = {
      {R"({"property":{"a":1}})", R"({"a":1})", R"({"a":1})"},
      {R"({"property":"abc"})", "abc", nullptr},
      {R"({"property":"[1,2]"})", "[1,2]", "[1,2]"},
      {R"({"property":[1,2]})", "", nullptr},
      {R"({"property":5})", "", nullptr},
      {R"({"property":null})", "", nullptr},
      {R"({})", "", nullptr},
  };
  for (const Case& c : cases) {
    const Dialog d = from<Dialog>(c.json);
    EXPECT_EQ(d.strProperty, c.stored) << c.json;
    const JsonValue dict = d.dictionary();
    const JsonValue* back = dict.find("property");
    if (c.writtenBack == nullptr) {
      EXPECT_EQ(back, nullptr) << c.json;
    } else {
      ASSERT_NE(back, nullptr) << c.json;
      EXPECT_EQ(*back, parse(c.writtenBack)) << c.json;
    }
  }
}

TEST(DialogRecords, FileSettingAndLastMessageTakeArraysToo) {
  const Dialog d = from<Dialog>(R"({"file":[1,{"x":"y"}],"setting":{"mute":1},"last_message":"{\"c\":2}"})");
  EXPECT_EQ(d.strFile, R"([1,{"x":"y"}])");
  EXPECT_EQ(d.strSetting, R"({"mute":1})");
  EXPECT_EQ(d.strLastMessage, R"({"c":2})");
  const JsonValue dict = d.dictionary();
  EXPECT_EQ(dict["file"], parse(R"([1,{"x":"y"}])"));
  EXPECT_EQ(dict["last_message"], parse(R"({"c":2})"));
}

TEST(DialogRecords, StickyIsNeverReadButAlwaysWritten) {
  const Dialog d = from<Dialog>(R"({"id":"d1","sticky_dateline":5})");
  EXPECT_EQ(d.ullSticky, 0u);
  const JsonValue dict = d.dictionary();
  ASSERT_TRUE(dict.contains("sticky_dateline"));
  EXPECT_EQ(dict["sticky_dateline"].asInt64(), 0);
}

TEST(DialogRecords, DictionaryWritesLargeTimesAsSigned64) {
  Dialog d;
  d.ullDateline = 0xFFFFFFFFFFFFFFFFull;
  const JsonValue dict = d.dictionary();
  EXPECT_TRUE(dict["dateline"].isInt64());
  EXPECT_EQ(dict["dateline"].asInt64(), -1);
  EXPECT_EQ(JSONString(Dialog().dictionary()).value_or(""),
            R"({"ent_id":0,"id":"","dateline":0,"read_dateline":0,"last_dateline":0,)"
            R"("setting_dateline":0,"name":"","type":"","creator":"","create_dateline":0,)"
            R"("sticky_dateline":0,"unread_count":0})");
}

TEST(DialogRecords, MemberDoesNotReadItsDialog) {
  const DialogMember m = from<DialogMember>(
      R"({"dialog_id":"d1","member_id":7,"name":"Ann","avatar":"a.png","join_dateline":3})");
  EXPECT_EQ(m.nMemberID, 7);
  EXPECT_EQ(m.strDialogID, "");
  EXPECT_EQ(m.strMemberName, "Ann");
  EXPECT_EQ(m.strAvatar, "a.png");
  EXPECT_EQ(m.ullJoinDateline, 3u);
  DialogMember named = m;
  named.strDialogID = "d1";
  EXPECT_EQ(named.dictionary()["dialog_id"].asString(), "d1");
}

TEST(DialogRecords, MessageRoundTripLeavesOutStateAndPermission) {
  const DialogMessage m = from<DialogMessage>(
      R"({"dialog_id":"d1","sender":42,"content":"hi","file":{"f":1},"act":"msg","metadata":[1],
          "id":"m1","state":3,"dateline":10,"property":"p","permission":{"r":1},"at":["u1"]})");
  EXPECT_EQ(m.strSender, "42");
  EXPECT_EQ(m.nState, 0);
  EXPECT_EQ(m.strPermission, "");
  EXPECT_EQ(m.strMetadata, "[1]");
  EXPECT_EQ(m.strAt, R"(["u1"])");
  EXPECT_EQ(JSONString(m.dictionary()).value_or(""),
            R"({"dialog_id":"d1","sender":"42","content":"hi","file":{"f":1},"act":"msg",)"
            R"("metadata":[1],"id":"m1","dateline":10,"at":["u1"]})");
}

TEST(DialogRecords, SettingTimeComesFromReadDateline) {
  EXPECT_EQ(from<DialogSetting>(R"({"dialog_id":"d1","setting_dateline":9})").ullDateline, 0u);
  const DialogSetting s = from<DialogSetting>(R"({"dialog_id":"d1","read_dateline":9,"setting":{"m":0}})");
  EXPECT_EQ(s.ullDateline, 9u);
  EXPECT_EQ(s.strDialogID, "d1");
  EXPECT_EQ(s.strSetting, R"({"m":0})");
  EXPECT_EQ(from<DialogRead>(R"({"dialog_id":"d2","read_dateline":"12"})").ullDateline, 12u);
}

TEST(DialogRecords, PlainTextsLoseTheirValueWhenAbsent) {
  EXPECT_EQ(EntRoleEx().strName, "");
  const EntRoleEx role = from<EntRoleEx>(
      R"({"ent_id":"3","id":4,"org_admin":"1","permissions":{"a":true},"addtime":"2020"})");
  EXPECT_FALSE(role.strName.has_value());
  EXPECT_FALSE(role.strDescription.has_value());
  EXPECT_EQ(role.strAddTime, "2020");
  EXPECT_EQ(role.nEntID, 3);
  EXPECT_EQ(role.nID, 4);
  EXPECT_TRUE(role.bOrgAdmin);
  EXPECT_EQ(role.strPermissions, R"({"a":true})");

  const auto fav = from<DialogMessageFavorite>(R"({"hash":"h","fav_id":2,"mount_id":"5","act":1})");
  EXPECT_EQ(fav.strUuidHash, "h");
  EXPECT_FALSE(fav.strWebPath.has_value());
  EXPECT_EQ(fav.nMountID, 5);
  const auto off = from<DialogMessageOffline>(R"({"filesize":"12345678901","state":2,"error":null})");
  EXPECT_EQ(off.ullFileSize, 12345678901u);
  EXPECT_FALSE(off.strErrorMsg.has_value());
  const auto api = from<DialogMessageApi>(R"({"member_id":8,"api":"/1/x"})");
  EXPECT_EQ(api.strApi, "/1/x");
  EXPECT_EQ(api.nMemberID, 8);
}

}  // namespace
}  // namespace nb
