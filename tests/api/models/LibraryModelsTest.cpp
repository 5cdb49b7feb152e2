#include <gtest/gtest.h>

#include "api/models/CompareItem.h"
#include "api/models/EntItem.h"
#include "api/models/MagicItem.h"
#include "api/models/MountItem.h"
#include "api/models/RetEnts.h"
#include "api/models/RetFileInfo.h"
#include "api/models/RetMounts.h"
#include "foundation/json/Json.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) {
  auto value = objectFromJSONString(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(JsonValue());
}

template <typename Record>
Record fromText(std::string_view text) {
  return BaseForJosnOrObject::init<Record>(parse(text));
}

TEST(MountItem, ReadsNumbersGivenAsTextAndKeepsTheWholeObject) {
  const char* text =
      R"({"mount_id":"7","org_id":12,"org_name":"Team","member_type":2,"org_type":"3",)"
      R"("size_org_use":5000000000,"size_org_total":"10000000000","ent_id":4,)"
      R"("property":"{\"k\":1}","compare":0,"add_dateline":1700000000})";
  MountItem item;
  item.bRemove = true;
  item.setValueWithJson(parse(text));
  EXPECT_EQ(item.nMountID, 7);
  EXPECT_EQ(item.nOrgID, 12);
  EXPECT_EQ(item.strOrgName, "Team");
  EXPECT_EQ(item.nMemberType, 2);
  EXPECT_EQ(item.nOrgType, 3);
  EXPECT_EQ(item.llOrgUse, 5000000000);
  EXPECT_EQ(item.llOrgTotal, 10000000000);
  EXPECT_EQ(item.nEntID, 4);
  EXPECT_EQ(item.strPropertys, R"({"k":1})");
  EXPECT_EQ(item.nCompare, 0);
  EXPECT_EQ(item.ullAddDateline, 1700000000u);
  EXPECT_FALSE(item.bRemove);
  EXPECT_EQ(objectFromJSONString(item.strInfo), parse(text));
}

TEST(MountItem, AbsentMembersGiveTheirDefaults) {
  for (const char* text : {R"({"mount_id":1})", R"({"mount_id":1,"compare":null,"org_name":null,"property":null})"}) {
    auto item = fromText<MountItem>(text);
    EXPECT_EQ(item.nCompare, 1) << text;
    EXPECT_EQ(item.strOrgName, "") << text;
    EXPECT_EQ(item.strPropertys, "") << text;
    EXPECT_EQ(item.nOrgID, 0) << text;
  }
}

TEST(LibraryModels, EntIdsAreReadThroughSigned32Bits) {
  struct Case {
    const char* entId;
    std::int64_t expected;
  } cases[] = {{"2147483647", 2147483647}, {"2147483648", -2147483648LL}, {"\"4294967297\"", 1}, {"-5", -5}};
  for (const Case& c : cases) {
    const std::string text = std::string(R"({"ent_id":)") + c.entId + "}";
    EXPECT_EQ(fromText<MountItem>(text).nEntID, c.expected) << text;
    EXPECT_EQ(fromText<EntItem>(text).nEntID, c.expected) << text;
  }
}

TEST(EntItem, NullNameIsEmptyAndTheWholeObjectIsKept) {
  EntItem item;
  item.bRemove = true;
  item.setValueWithJson(parse(R"({"ent_id":9,"ent_name":null,"logo":{"u":"x"}})"));
  EXPECT_EQ(item.nEntID, 9);
  EXPECT_EQ(item.strEntName, "");
  EXPECT_EQ(objectFromJSONString(item.strPropertys), parse(R"({"ent_id":9,"ent_name":null,"logo":{"u":"x"}})"));
  EXPECT_TRUE(item.bRemove);  // parsing leaves the catalogue's mark
  EXPECT_EQ(fromText<EntItem>(R"({"ent_name":"Acme"})").strEntName, "Acme");
}

TEST(MagicItem, ReadsAndGivesBackEveryKey) {
  auto item = fromText<MagicItem>(R"({"id":"3","type":2,"name":"Work","color":"#f00"})");
  EXPECT_EQ(item.nID, 3);
  EXPECT_EQ(item.nType, 2);
  EXPECT_EQ(item.dictionary(), parse(R"({"id":3,"type":2,"name":"Work","color":"#f00"})"));

  auto unnamed = fromText<MagicItem>(R"({"id":4,"name":"","color":null})");
  JsonValue back = unnamed.dictionary();
  ASSERT_TRUE(back.contains("name"));
  EXPECT_EQ(back["name"].asString(), "");
  ASSERT_TRUE(back.contains("color"));
  EXPECT_EQ(back["color"].asString(), "");
}

TEST(CompareItem, ReadsAChangeFeedItem) {
  auto item = fromText<CompareItem>(
      R"({"hash":"h1","fullpath":"a/b.txt","fullpath_to":"a/c.txt",)"
      R"("filehash":"da39a3ee5e6b4b0d3255bfef95601890afd80709","filesize":"8589934592","cmd":-1,)"
      R"("dir":"1","create_dateline":1600000000,"last_member_id":"4294967317","last_member_name":"Ann",)"
      R"("last_dateline":1700000000,"lock":1,"lock_member_id":21,"property":{"tag":"x"}})");
  EXPECT_EQ(item.strHash, "h1");
  EXPECT_EQ(item.strWebPath, "a/b.txt");
  EXPECT_EQ(item.strWebPathTo, "a/c.txt");
  EXPECT_EQ(item.strFileHash, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(item.ullFileSize, 8589934592u);
  EXPECT_EQ(item.nCmd, CompareItem::kCmdReset);
  EXPECT_TRUE(item.bDir);
  EXPECT_EQ(item.ullCreatorTime, 1600000000u);
  EXPECT_EQ(item.nLastMemberID, 4294967317);
  EXPECT_EQ(item.strLastMemberName, "Ann");
  EXPECT_EQ(item.ullWebLastTime, 1700000000u);
  EXPECT_EQ(item.nLock, 1);
  EXPECT_EQ(item.nLockMemberID, 21);
  EXPECT_EQ(item.strPropertys, R"({"tag":"x"})");
}

TEST(CompareItem, AbsentNullOrOddlyTypedMembersGiveDefaults) {
  for (const char* text : {R"({})", R"({"hash":null,"cmd":null,"dir":null,"property":null,"filesize":null})",
                           R"({"hash":5,"cmd":[1],"dir":{},"property":"","filesize":"x"})"}) {
    auto item = fromText<CompareItem>(text);
    EXPECT_EQ(item.strHash, "") << text;
    EXPECT_EQ(item.nCmd, 0) << text;
    EXPECT_FALSE(item.bDir) << text;
    EXPECT_EQ(item.strPropertys, "") << text;
    EXPECT_EQ(item.ullFileSize, 0u) << text;
  }
}

TEST(LibraryAnswers, ListsFollowTheArrayAndAnythingElseGivesAnEmptyList) {
  RetMounts mounts;
  mounts.setValueWithData(R"({"list":[{"mount_id":1},"x",{"mount_id":3}]})");
  ASSERT_TRUE(mounts.itemlist);
  ASSERT_EQ(mounts.itemlist->size(), 3u);
  EXPECT_EQ((*mounts.itemlist)[0].nMountID, 1);
  EXPECT_EQ((*mounts.itemlist)[1].nMountID, 0);
  EXPECT_EQ((*mounts.itemlist)[2].nMountID, 3);

  for (const char* body : {R"({"list":{"mount_id":1}})", R"({"other":1})", R"({"list":null})"}) {
    RetMounts noList;
    noList.setValueWithData(body);
    ASSERT_TRUE(noList.itemlist) << body;
    EXPECT_TRUE(noList.itemlist->empty()) << body;
    RetEnts ents;
    ents.setValueWithData(body);
    ASSERT_TRUE(ents.itemlist) << body;
    EXPECT_TRUE(ents.itemlist->empty()) << body;
  }

  RetEnts unread;
  unread.setValueWithData("{}");
  EXPECT_EQ(unread.nStatusCode(), RequestRet::kUnreadable);
  EXPECT_FALSE(unread.itemlist);
}

TEST(LibraryAnswers, FileInfoReadsTheEntryAtTheTopLevel) {
  RetFileInfo info;
  info.setValueWithData(R"({"hash":"u1","fullpath":"a/b","dir":0,"filesize":3})");
  ASSERT_TRUE(info.pItem);
  EXPECT_EQ(info.pItem->strHash, "u1");
  EXPECT_EQ(info.pItem->ullFileSize, 3u);
  RetFileInfo missing;
  missing.setValueWithData("[]");
  EXPECT_FALSE(missing.pItem);
}

}  // namespace
}  // namespace nb
