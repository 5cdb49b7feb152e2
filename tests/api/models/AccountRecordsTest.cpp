// Records of the template, setting and favourite answers, read from fixtures.

#include <gtest/gtest.h>

#include "api/models/FavoritesItem.h"
#include "api/models/SettingItem.h"
#include "api/models/TemplateItem.h"
#include "foundation/json/Json.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) { return dictionaryFromString(text).value(); }

TEST(TemplateItemTest, ReadsEveryFieldWithTextNumbers) {
  const auto item = TemplateItem::initWithJsonDictionary(parse(R"({
    "ent_id": "12", "id": 7, "filehash": "aa", "tpl_name": "Report", "ext": "docx",
    "fullpath": "tpl/Report.docx", "filesize": "5000000000", "dateline": 1700000000,
    "property": "{\"x\":1}"})"));
  EXPECT_EQ(item.nEntID, 12);
  EXPECT_EQ(item.nID, 7);
  EXPECT_EQ(item.strHash, "aa");
  EXPECT_EQ(item.strName, "Report");
  EXPECT_EQ(item.strExt, "docx");
  EXPECT_EQ(item.strFullpath, "tpl/Report.docx");
  EXPECT_EQ(item.ullFilesize, 5000000000u);
  EXPECT_EQ(item.ullTime, 1700000000u);
  EXPECT_EQ(item.strProperty, R"({"x":1})");
}

TEST(TemplateItemTest, NonObjectAndNullsGiveInitialValues) {
  const auto fromArray = TemplateItem::initWithJsonDictionary(parse("[1]"));
  EXPECT_EQ(fromArray.nEntID, 0);
  EXPECT_TRUE(fromArray.strName.empty());
  const auto nulls = TemplateItem::initWithJsonDictionary(parse(R"({"property":null,"id":null})"));
  EXPECT_EQ(nulls.strProperty, "");
  EXPECT_EQ(nulls.nID, 0);
}

TEST(SettingItemTest, PropertyIsEmptyWhenAbsentAndValueGoesThrough32Bits) {
  const auto delay = SettingItem::initWithJsonDictionary(
      parse(R"({"setting":"delay_sync_file","value":4294967297,"property":"{\"psd\":30}"})"));
  EXPECT_EQ(delay.strSetting, SettingItem::kDelaySyncFile);
  EXPECT_EQ(delay.nValue, 1);
  EXPECT_EQ(delay.strProperty, R"({"psd":30})");
  const auto bare = SettingItem::initWithJsonDictionary(parse(R"({"value":"3"})"));
  EXPECT_EQ(bare.strSetting, "");
  EXPECT_EQ(bare.strProperty, "");
  EXPECT_EQ(bare.nValue, 3);
}

TEST(FavoritesItemTest, MountIdIsReadThrough32Bits) {
  const auto item = BaseForJosnOrObject::init<FavoritesItem>(
      parse(R"({"fav_id":"4","mount_id":2147483648,"hash":"u1"})"));
  EXPECT_EQ(item.nID, 4);
  EXPECT_EQ(item.nMountID, -2147483648LL);
  EXPECT_EQ(item.strUuidHash, "u1");
}

}  // namespace
}  // namespace nb
